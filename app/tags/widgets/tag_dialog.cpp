#include "tag_dialog.h"

#include "string_table.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace mireldo::tags {

namespace {

QLineEdit* edit(int limit, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    if (limit > 0) {
        e->setMaxLength(limit);
    }
    return e;
}

} // namespace

CTagDialog::CTagDialog(int captionId, const TagLimits& limits, QWidget* parent) : QDialog(parent) {
    setWindowTitle(loadString(captionId));
    title_ = edit(limits.title, this);
    artist_ = edit(limits.artist, this);
    album_ = edit(limits.album, this);
    year_ = edit(limits.year, this);
    comments_ = edit(limits.comment, this);
    track_ = edit(0, this);
    track_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), track_));
    genre_ = new QComboBox(this);
    genre_->setMaxVisibleItems(16);
    fileName_ = new QLineEdit(this);
    fileName_->setReadOnly(true);

    auto* grid = new QGridLayout;
    const std::pair<int, QWidget*> rows[] = {{0, title_},    {1, artist_},  {2, album_},
                                             {3, genre_},    {4, track_},   {5, year_},
                                             {6, comments_}, {7, fileName_}};
    for (const auto& [i, widget] : rows) {
        auto* label = new QLabel(loadString(kStrTagFirstLabel + i), this);
        label->setBuddy(widget);
        grid->addWidget(label, i, 0);
        grid->addWidget(widget, i, 1);
    }
    grid->setColumnMinimumWidth(1, 280);
    auto* buttons = new QDialogButtonBox(this);
    auto* updateButton =
        buttons->addButton(loadString(kStrTagFirstLabel + 8), QDialogButtonBox::AcceptRole);
    buttons->addButton(loadString(kStrTagFirstLabel + 9), QDialogButtonBox::RejectRole);
    updateButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTagDialog::update);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    setFields(TagFields{}, QString());
}

void CTagDialog::setFields(const TagFields& fields, const QString& fileName) {
    shown_ = fields;
    choice_ = GenreChoice(fields);
    title_->setText(fields.title);
    artist_->setText(fields.artist);
    album_->setText(fields.album);
    year_->setText(fields.year);
    comments_->setText(fields.comment);
    track_->setText(QString::number(fields.track));
    genre_->clear();
    genre_->addItems(choice_.entries());
    genre_->setCurrentIndex(choice_.initialRow());
    fileName_->setText(fileName);
}

TagFields CTagDialog::fields() const {
    TagFields f = shown_;
    f.title = title_->text();
    f.artist = artist_->text();
    f.album = album_->text();
    f.year = year_->text();
    f.comment = comments_->text();
    // Digits only; a number too large for the tag becomes its largest track number.
    bool ok = false;
    const unsigned track = track_->text().toUInt(&ok);
    f.track =
        !ok ? 0 : (track > static_cast<unsigned>(kMaxTrack) ? kMaxTrack : static_cast<int>(track));
    choice_.apply(genre_->currentIndex(), f);
    return f;
}

QWidget* CTagDialog::control(TagCtl id) const {
    switch (id) {
    case TagCtl::Title:
        return title_;
    case TagCtl::Artist:
        return artist_;
    case TagCtl::Album:
        return album_;
    case TagCtl::Track:
        return track_;
    case TagCtl::Year:
        return year_;
    case TagCtl::Comments:
        return comments_;
    case TagCtl::Genre:
        return genre_;
    case TagCtl::FileName:
        return fileName_;
    }
    return nullptr;
}

void CTagDialog::update() {
    if (!updateHandler_ || updateHandler_(fields())) {
        accept();
    }
}

} // namespace mireldo::tags
