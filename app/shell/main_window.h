#pragma once

#include <QDialog>

namespace mireldo {

/// The main window. For now an empty frame with the application's title.
class CRecorderDialog : public QDialog {
public:
    explicit CRecorderDialog(QWidget* parent = nullptr);
};

} // namespace mireldo
