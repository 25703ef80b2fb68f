#include "cli.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return mireldo::cli::runCli(QCoreApplication::arguments());
}
