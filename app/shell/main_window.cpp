#include "main_window.h"

#include "app_info.h"

namespace mireldo {

CRecorderDialog::CRecorderDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(applicationTitle());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    resize(640, 480);
}

} // namespace mireldo
