#include "cli.h"
#include "native_path.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Not QCoreApplication::arguments(): file names need not be valid UTF-8.
    return mireldo::cli::runCli(mireldo::platform::argumentsOf(argc, argv));
}
