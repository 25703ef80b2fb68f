#include "converter_dialog.h"

#include "converter_session.h"
#include "folder_browser.h"
#include "profile_store.h"
#include "string_table.h"
#include "time_range_dialog.h"
#include "user_messages.h"
#include "xfile_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace mireldo::converter {

namespace {

/// Column widths in percent of the list's width.
constexpr int kColumnPercent[4] = {24, 34, 21, 15};

QComboBox* dropList(int firstString, int count, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (int i = 0; i < count; ++i) {
        list->addItem(loadString(firstString + i));
    }
    list->setMaxVisibleItems(count);
    return list;
}

std::optional<QStringList> chooseSourcesWithDialog(QWidget* owner, const QString& folder) {
    ui::CXFileDialog dialog(true, QString(), QString(), loadString(kStrConverterFilter), owner);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    if (dialog.showDialog() != ui::CXFileDialog::kChosen) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

std::optional<QString> chooseSaveFileWithDialog(QWidget* owner, const QString& folder) {
    ui::CXFileDialog dialog(false, QString(), QString(), loadString(kStrConverterFilter), owner);
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    if (dialog.showDialog() != ui::CXFileDialog::kChosen || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

std::optional<QString> chooseFolderWithBrowser(QWidget* owner, const QString& start) {
    QString folder;
    if (!ui::browseForFolder(owner, loadString(kStrChooseConvertFolder), start, folder,
                             kRememberedFolderLength)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace

// The job's view: rows, bars and the current name, and the event pump that keeps the dialog
// live. Runs on the user-interface thread inside Convert's click.
class CConverterDialog::JobDisplay final : public JobView {
  public:
    explicit JobDisplay(CConverterDialog& dialog) : d_(dialog) {}

    void sourceStarted(int index) override {
        d_.setStatus(index, loadString(kStrConverting));
        Q_EMIT d_.sourceStarted(index);
    }
    void sourceFinished(int index, ConvertResult result, const QString& /*output*/) override {
        d_.setStatus(index, loadString(statusTextId(result)));
    }
    void jobProgress(int done, int total) override {
        d_.jobBar_->setRange(0, total);
        d_.jobBar_->setValue(done);
    }
    void setCurrentName(const QString& name) override { d_.currentName_->setText(name); }
    void setSourcePercent(int percent) override { d_.sourceBar_->setValue(percent); }
    bool cancelRequested() override {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return d_.cancel_;
    }
    void pause(int ms) override {
        // Events keep running through the pause, so Cancel is seen right after it.
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    void sourceUnreadable(const QString& /*path*/) override {
        d_.services_.messages->showString(kStrSourceUnreadable, MessageIcon::Stop);
    }

  private:
    CConverterDialog& d_;
};

CConverterDialog::CConverterDialog(const QStringList& paths, ConverterServices services,
                                   platform::ProfileStore& store, QWidget* parent)
    : CIdDialog(parent), services_(std::move(services)), store_(store) {
    if (!services_.chooseSources) {
        services_.chooseSources = [this](const QString& f) {
            return chooseSourcesWithDialog(this, f);
        };
    }
    if (!services_.chooseSaveFile) {
        services_.chooseSaveFile = [this](const QString& f) {
            return chooseSaveFileWithDialog(this, f);
        };
    }
    if (!services_.chooseFolder) {
        services_.chooseFolder = [this](const QString& s) {
            return chooseFolderWithBrowser(this, s);
        };
    }
    if (!services_.runTimeRange) {
        services_.runTimeRange = [](CTimeRangeDialog& dialog) { return dialog.exec(); };
    }
    choices_ = loadChoices(store_);
    buildControls();
    showChoices();
    for (const QString& path : paths) {
        sources_.append(path);
        appendRow(path);
    }
}

CConverterDialog::~CConverterDialog() = default;

void CConverterDialog::buildControls() {
    setWindowTitle(loadString(kStrConverterCaption));

    list_ = add(static_cast<int>(ConvCtl::List), new QTableWidget(0, 4, this));
    QStringList headings;
    for (int c = 0; c < 4; ++c) {
        headings.append(loadString(kStrConverterFirstHeading + c));
    }
    list_->setHorizontalHeaderLabels(headings);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setMinimumSize(560, 200);
    // The selection stays visible when the list does not have the focus.
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    list_->setPalette(palette);

    const auto button = [this](ConvCtl id, int text) {
        auto* b = add(static_cast<int>(id), new QPushButton(loadString(text), this));
        b->setAutoDefault(false);
        return b;
    };
    auto* addButton = button(ConvCtl::Add, kStrConverterAdd);
    auto* removeButton = button(ConvCtl::Remove, kStrConverterRemove);
    auto* removeAllButton = button(ConvCtl::RemoveAll, kStrConverterRemoveAll);
    auto* rangeButton = button(ConvCtl::SetRange, kStrConverterSetRange);
    auto* browseButton = button(ConvCtl::Browse, kStrConverterBrowse);
    auto* convertButton = button(ConvCtl::Convert, kStrConverterConvert);
    auto* cancelButton = button(ConvCtl::CancelJob, kStrConverterCancel);
    convertButton->setDefault(true);
    browseButton->setFixedWidth(browseButton->fontMetrics().horizontalAdvance(u'.') * 3 + 24);
    connect(addButton, &QPushButton::clicked, this, &CConverterDialog::addSources);
    connect(removeButton, &QPushButton::clicked, this, &CConverterDialog::removeSelected);
    connect(removeAllButton, &QPushButton::clicked, this, &CConverterDialog::removeAll);
    connect(rangeButton, &QPushButton::clicked, this, &CConverterDialog::setTimeRange);
    connect(browseButton, &QPushButton::clicked, this, &CConverterDialog::chooseDestination);
    connect(convertButton, &QPushButton::clicked, this, &CConverterDialog::convert);
    connect(cancelButton, &QPushButton::clicked, this, &CConverterDialog::cancelJob);

    destination_ = add(static_cast<int>(ConvCtl::Destination), new QLineEdit(this));
    destination_->setMaxLength(kDestinationLength);
    type_ =
        add(static_cast<int>(ConvCtl::Type), dropList(kStrConverterFirstType, kTypeCount, this));
    rate_ = add(static_cast<int>(ConvCtl::Rate),
                dropList(kStrConverterFirstRate, static_cast<int>(kRateChoices.size()), this));
    channels_ =
        add(static_cast<int>(ConvCtl::Channels), dropList(kStrConverterFirstChannels, 3, this));
    bitrate_ =
        add(static_cast<int>(ConvCtl::Bitrate),
            dropList(kStrConverterFirstBitrate, static_cast<int>(kBitrateChoices.size()), this));
    skip_ =
        add(static_cast<int>(ConvCtl::Skip), new QCheckBox(loadString(kStrConverterSkip), this));
    skip_->setChecked(true);
    merge_ =
        add(static_cast<int>(ConvCtl::Merge), new QCheckBox(loadString(kStrConverterMerge), this));
    sourceBar_ = add(static_cast<int>(ConvCtl::Progress2), new QProgressBar(this));
    sourceBar_->setRange(0, 100);
    sourceBar_->setValue(0);
    jobBar_ = add(static_cast<int>(ConvCtl::Progress1), new QProgressBar(this));
    jobBar_->setRange(0, 1);
    jobBar_->setValue(0);
    currentName_ = add(static_cast<int>(ConvCtl::CurrentName), new QLabel(this));
    currentName_->setMinimumWidth(300);

    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b : {addButton, removeButton, removeAllButton, rangeButton}) {
        listButtons->addWidget(b);
    }
    listButtons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(listButtons);

    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(new QLabel(loadString(kStrConverterFirstLabel), this));
    destinationRow->addWidget(destination_, 1);
    destinationRow->addWidget(browseButton);

    auto* choices = new QGridLayout;
    const std::pair<int, QComboBox*> lists[] = {
        {1, type_}, {2, rate_}, {3, channels_}, {4, bitrate_}};
    for (const auto& [i, combo] : lists) {
        auto* label = new QLabel(loadString(kStrConverterFirstLabel + i), this);
        label->setBuddy(combo);
        const int row = (i - 1) / 2;
        const int column = ((i - 1) % 2) * 2;
        choices->addWidget(label, row, column);
        choices->addWidget(combo, row, column + 1);
    }
    choices->setColumnStretch(1, 1);
    choices->setColumnStretch(3, 1);

    auto* checks = new QHBoxLayout;
    checks->addWidget(skip_);
    checks->addWidget(merge_);
    checks->addStretch();

    auto* current = new QHBoxLayout;
    current->addWidget(new QLabel(loadString(kStrConverterCurrent), this));
    current->addWidget(currentName_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(convertButton);
    bottom->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(destinationRow);
    layout->addLayout(choices);
    layout->addLayout(checks);
    layout->addLayout(current);
    layout->addWidget(sourceBar_);
    layout->addWidget(jobBar_);
    layout->addLayout(bottom);
}

QString CConverterDialog::cellText(int row, int column) const {
    const QTableWidgetItem* item = list_->item(row, column);
    return item != nullptr ? item->text() : QString();
}

void CConverterDialog::appendRow(const QString& path) {
    const int row = list_->rowCount();
    list_->insertRow(row);
    const QString texts[4] = {folderOf(path), fileNameOf(path), entireFileText(), QString()};
    for (int c = 0; c < 4; ++c) {
        list_->setItem(row, c, new QTableWidgetItem(texts[c]));
    }
}

void CConverterDialog::setStatus(int row, const QString& text) {
    if (QTableWidgetItem* item = list_->item(row, ColStatus)) {
        item->setText(text);
    }
}

void CConverterDialog::showChoices() {
    destination_->setText(choices_.destination);
    type_->setCurrentIndex(choices_.typeIndex);
    rate_->setCurrentIndex(choices_.rateIndex);
    channels_->setCurrentIndex(choices_.channelIndex);
    bitrate_->setCurrentIndex(choices_.bitrateIndex);
}

void CConverterDialog::takeControls() {
    choices_.destination = destination_->text().left(kDestinationLength);
    choices_.typeIndex = type_->currentIndex();
    choices_.rateIndex = rate_->currentIndex();
    choices_.channelIndex = channels_->currentIndex();
    choices_.bitrateIndex = bitrate_->currentIndex();
}

void CConverterDialog::setChoicesEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{destination_, type_, rate_, channels_,
                                                      bitrate_, skip_, merge_}) {
        w->setEnabled(on);
    }
}

void CConverterDialog::showEvent(QShowEvent* event) {
    CIdDialog::showEvent(event);
    if (!columnsSized_) {
        columnsSized_ = true;
        const int width = list_->viewport()->width();
        for (int c = 0; c < 4; ++c) {
            list_->setColumnWidth(c, width * kColumnPercent[c] / 100);
        }
    }
}

void CConverterDialog::reject() {
    if (busy_) {
        return;
    }
    saveChoices(store_, choices_);
    CIdDialog::reject();
}

void CConverterDialog::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    CIdDialog::closeEvent(event);
}

// Buttons ------------------------------------------------------------------------------------

void CConverterDialog::addSources() {
    if (busy_) {
        return;
    }
    RememberedFolders& folders = rememberedFolders();
    const std::optional<QStringList> chosen = services_.chooseSources(folders.add);
    if (!chosen) {
        if (folders.add.isEmpty()) {
            reject();
        }
        return;
    }
    for (qsizetype i = 0; i < chosen->size(); ++i) {
        const QString& path = chosen->at(i);
        if (i == 0) {
            folders.add = folderOf(path).left(kRememberedFolderLength);
        }
        if (holdsSource(sources_, path)) {
            continue;
        }
        sources_.append(path);
        appendRow(path);
    }
}

void CConverterDialog::removeSelected() {
    if (busy_) {
        return;
    }
    std::set<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        list_->removeRow(*it);
        sources_.removeAt(*it);
    }
}

void CConverterDialog::removeAll() {
    if (busy_) {
        return;
    }
    list_->setRowCount(0);
    sources_.clear();
}

void CConverterDialog::setTimeRange() {
    if (busy_) {
        return;
    }
    std::set<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    if (rows.empty()) {
        return;
    }
    CTimeRangeDialog dialog(*services_.messages, this);
    dialog.setRange(parseRangeText(cellText(*rows.begin(), ColRange)));
    if (services_.runTimeRange(dialog) != QDialog::Accepted) {
        return;
    }
    const QString text = dialog.rowText();
    for (int row : rows) {
        list_->item(row, ColRange)->setText(text);
    }
}

void CConverterDialog::chooseDestination() {
    if (busy_) {
        return;
    }
    if (sources_.size() == 1) {
        RememberedFolders& folders = rememberedFolders();
        const std::optional<QString> chosen = services_.chooseSaveFile(folders.destination);
        if (!chosen) {
            return;
        }
        choices_.destination = destinationFromSaveChoice(*chosen).left(kDestinationLength);
        folders.destination = folderOf(choices_.destination).left(kRememberedFolderLength);
    } else {
        const std::optional<QString> chosen = services_.chooseFolder(choices_.destination);
        if (!chosen) {
            return;
        }
        choices_.destination = chosen->left(kDestinationLength);
    }
    destination_->setText(choices_.destination);
}

void CConverterDialog::cancelJob() {
    if (busy_) {
        cancel_ = true;
    }
}

void CConverterDialog::convert() {
    if (busy_) {
        return;
    }
    takeControls();
    JobOptions options;
    options.choices = choices_;
    options.skipExisting = skip_->isChecked();
    options.merge = merge_->isChecked();
    options.pacing = pacing_;
    std::vector<JobSource> sources;
    for (int row = 0; row < static_cast<int>(sources_.size()); ++row) {
        sources.push_back({sources_.at(row), rangeOfText(cellText(row, ColRange))});
    }
    switch (checkJob(*services_.encoders, sources, options)) {
    case JobRefusal::EncoderNotLoaded:
        services_.messages->showString(kStrEncoderNotLoaded, MessageIcon::Stop);
        return;
    case JobRefusal::NoSources:
        services_.messages->showString(kStrNoSourceFile, MessageIcon::Stop);
        return;
    case JobRefusal::NoDestination:
        services_.messages->showString(kStrNoDestination, MessageIcon::Stop);
        return;
    case JobRefusal::None:
        break;
    }

    setChoicesEnabled(false);
    cancel_ = false;
    busy_ = true;
    for (int row = 0; row < list_->rowCount(); ++row) {
        setStatus(row, QString());
    }
    jobBar_->setRange(0, static_cast<int>(sources.size()));
    jobBar_->setValue(0);
    sourceBar_->setValue(0);

    JobDisplay display(*this);
    const JobOutcome outcome = runJob(*services_.encoders, sources, options, display);

    setChoicesEnabled(true);
    busy_ = false;
    finishJob(outcome);
}

void CConverterDialog::finishJob(const JobOutcome& outcome) {
    if (outcome.cancelled) {
        return;
    }
    raise();
    activateWindow();
    const QString count = QString::number(outcome.successCount);
    if (outcome.outputs.isEmpty()) {
        services_.messages->showMessage(loadString(kStrConvertedCount).arg(count),
                                        MessageIcon::None, MessageButtons::Ok);
        return;
    }
    const MessageAnswer answer =
        services_.messages->showMessage(loadString(kStrConvertedAskPlaylist).arg(count),
                                        MessageIcon::Question, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes && services_.addToPlaylist) {
        for (const QString& output : outcome.outputs) {
            services_.addToPlaylist(output);
        }
    }
}

void runConverterDialog(QWidget* parent, const QStringList& paths, ConverterServices services) {
    platform::ProfileStore store;
    CConverterDialog dialog(paths.mid(0, kMaxInitialSources), std::move(services), store, parent);
    dialog.exec();
}

} // namespace mireldo::converter
