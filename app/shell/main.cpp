#include "recorder_app.h"

int main(int argc, char* argv[]) {
    mireldo::CRecorderApp app(argc, argv);
    return app.run();
}
