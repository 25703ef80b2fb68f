#include "time_range_dialog.h"

#include "string_table.h"
#include "user_messages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <array>

namespace mireldo::converter {

namespace {

/// Characters each field takes: h, mm, ss, tenths for the start, then for the end.
constexpr std::array<int, 8> kFieldLengths{1, 2, 2, 1, 1, 2, 2, 1};

} // namespace

CTimeRangeDialog::CTimeRangeDialog(UserMessages& messages, QWidget* parent)
    : CIdDialog(parent), messages_(messages) {
    setWindowTitle(loadString(kStrTimeRangeCaption));
    auto* grid = new QGridLayout;
    for (int half = 0; half < 2; ++half) {
        grid->addWidget(new QLabel(loadString(half == 0 ? kStrStartTime : kStrEndTime), this), half,
                        0);
        for (int part = 0; part < 4; ++part) {
            const int i = half * 4 + part;
            const int length = kFieldLengths[static_cast<std::size_t>(i)];
            auto* field = add(static_cast<int>(RangeCtl::StartHours) + i, new QLineEdit(this));
            field->setMaxLength(length);
            field->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(length)), field));
            field->setFixedWidth(field->fontMetrics().horizontalAdvance(u'0') * (length + 2) + 8);
            field->setAlignment(Qt::AlignRight);
            grid->addWidget(field, half, 1 + 2 * part);
            if (part < 3) {
                grid->addWidget(
                    new QLabel(part == 2 ? QStringLiteral(".") : QStringLiteral(":"), this), half,
                    2 + 2 * part);
            }
        }
    }
    auto* entire = add(static_cast<int>(RangeCtl::Entire),
                       new QCheckBox(loadString(kStrEntireAudioFile), this));
    connect(entire, &QCheckBox::clicked, this, [this](bool on) { showEntire(on); });

    auto* ok = add(static_cast<int>(RangeCtl::Ok), new QPushButton(loadString(kStrOk), this));
    auto* cancel = add(static_cast<int>(RangeCtl::Cancel),
                       new QPushButton(loadString(kStrConverterCancel), this));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CTimeRangeDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(entire);
    layout->addLayout(buttons);
    setRange(std::nullopt);
}

void CTimeRangeDialog::setRange(const std::optional<RangeFields>& fields) {
    for (int i = 0; i < 8; ++i) {
        auto* field = controlAs<QLineEdit>(static_cast<int>(RangeCtl::StartHours) + i);
        field->setText(fields ? QString::number((*fields)[static_cast<std::size_t>(i)])
                              : QString());
    }
    controlAs<QCheckBox>(static_cast<int>(RangeCtl::Entire))->setChecked(!fields);
    showEntire(!fields);
}

RangeFields CTimeRangeDialog::fields() const {
    RangeFields f{};
    for (int i = 0; i < 8; ++i) {
        f[static_cast<std::size_t>(i)] =
            controlAs<QLineEdit>(static_cast<int>(RangeCtl::StartHours) + i)->text().toInt();
    }
    return f;
}

bool CTimeRangeDialog::entireFile() const {
    return controlAs<QCheckBox>(static_cast<int>(RangeCtl::Entire))->isChecked();
}

QString CTimeRangeDialog::rowText() const {
    return entireFile() ? entireFileText() : rangeText(fields());
}

void CTimeRangeDialog::showEntire(bool entire) {
    for (int i = 0; i < 8; ++i) {
        control(static_cast<int>(RangeCtl::StartHours) + i)->setEnabled(!entire);
    }
}

void CTimeRangeDialog::confirm() {
    const RangeFields f = fields();
    if (secondsOf(f[4], f[5], f[6], f[7]) < secondsOf(f[0], f[1], f[2], f[3])) {
        messages_.showString(kStrStartAfterEnd, MessageIcon::Stop);
        return;
    }
    accept();
}

} // namespace mireldo::converter
