#include "command_line.h"
#include "native_path.h"
#include "recorder_app.h"

int main(int argc, char* argv[]) {
    // --help, --version and wrong usage are answered before anything opens a display.
    const mireldo::CommandLine line =
        mireldo::parseCommandLine(mireldo::platform::argumentsOf(argc, argv));
    if (const int status = mireldo::answerWithoutWindow(line, stdout, stderr); status >= 0) {
        return status;
    }
    mireldo::CRecorderApp app(argc, argv);
    return app.run(line.files);
}
