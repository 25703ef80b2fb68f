#pragma once

// CRecorderDialog, the main window: the recording settings, the recorder, the silence-detection
// and saving settings on the left, the playlist panel on the right. Built from template 102;
// its code reaches each control through a typed member of ui() (main_controls.h), bound once
// when the controls are built; control() finds one by its template id.
//
// It owns the window's persistent values: section "Settings" is read when it is constructed,
// the "History" selections when its controls are initialised, and both are written back when
// it is destroyed. Controls exchange values with those members as the platform's dialog-data
// exchange does: readControls() takes what the controls show, writeControls() shows the
// members.
//
// Threads: the user-interface thread only.

#include "dialog_templates.h"
#include "encoder_table.h"
#include "main_controls.h"
#include "message_receiver.h"
#include "recorder_settings.h"
#include "stale_files.h"
#include "user_messages.h"

#include <QDialog>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QMenu;

namespace mireldo {

class AlsaRecordingSettings;
class EndpointSettings;

namespace recorder {
class CaptureSession;
}

struct DialogTemplate;
struct ControlTemplate;

/// What the window asks of the rest of the program. Empty members mean "not available".
/// defaultServices() gives the program's own.
struct DialogServices {
    /// Names of the input devices, in index order.
    std::function<QStringList()> inputDeviceNames;
    /// Names of the output devices, in index order; nullopt when no device layer can list them.
    std::function<std::optional<QStringList>()> outputDeviceNames;
    /// Shows the About box over the window.
    std::function<void(QWidget*)> showAbout;
    /// Where messages go; nullptr shows message boxes over the window. Not owned.
    UserMessages* messages = nullptr;
    /// Folder the encoder plug-ins are loaded from; empty means the executable's folder.
    QString pluginFolder;
    /// The playlist's list file; empty leaves the playlist control without a list.
    QString playlistFile;
    /// Opens a web address for "Online Help" and the window's links: above 32 when opened,
    /// else the opener's error code. Empty: the desktop's opener.
    std::function<int(const QString&)> openAddress;
};

/// The device lists of the audio layer, and message boxes over the window.
DialogServices defaultServices();

class CRecorderDialog : public platform::MessageReceiverBase<QDialog> {
    Q_OBJECT

  public:
    /// The areas that collapse and expand.
    enum class Area { Silence, Saving };

    explicit CRecorderDialog(QWidget* parent = nullptr);
    explicit CRecorderDialog(DialogServices services, QWidget* parent = nullptr);
    /// Reads the controls one last time and writes the settings.
    ~CRecorderDialog() override;

    /// The control with `id`; nullptr when the window has none.
    QWidget* control(int id) const;
    QWidget* control(MainCtl id) const { return control(static_cast<int>(id)); }
    template <typename T>
    T* controlAs(int id) const {
        return qobject_cast<T*>(control(id));
    }
    template <typename T>
    T* controlAs(MainCtl id) const {
        return qobject_cast<T*>(control(id));
    }
    /// The controls by name, typed; every member is set once the window is constructed.
    const MainControls& ui() const { return ui_; }
    /// Every control made from the template, statics included, in template order.
    const std::vector<QWidget*>& allControls() const { return allControls_; }

    const RecorderSettings& settings() const { return settings_; }
    const RecorderHistory& history() const { return history_; }
    /// The encoder plug-ins, loaded when the window is created.
    const encoders::EncoderTable& encoderTable() const { return encoders_; }

    /// The save direction of the exchange: takes what the controls show into the members.
    /// A non-integer in the long-silence or short-record seconds field shows "Please enter an
    /// integer.", selects that field and changes no member; the caller must then not run its
    /// operation.
    bool readControls();
    /// The load direction: shows the members in the controls.
    void writeControls();

    /// Records recovered at start-up, and those that could not be; the user is told once,
    /// when the window first shows.
    void setStartupReport(const StaleFileReport& report);
    /// Recovered records, for the playlist to add when it is created.
    const QStringList& recoveredRecords() const { return recovered_; }
    /// Adds a saved or recovered record to the playlist and selects its row alone (the list
    /// file is saved). The item's index; negative when the window has no playlist or the path
    /// cannot be added. (playlist_wiring.cpp)
    int addRecordToPlaylist(const QString& path);
    /// Adds files named on the command line (or handed over by a later `mireldo`) to the
    /// playlist, as "Open with" expects; the last one added is selected. (playlist_wiring.cpp)
    void openFiles(const QStringList& paths);

    /// A system-menu command: 16 to 31 open the About box.
    void systemCommand(int command);
    /// The main window's e-mail command: the playlist checks its selection and opens the
    /// "E-mail" dialog with the selected files. (playlist_wiring.cpp)
    void mailCommand();
    /// The window's system menu ("&About Mireldo..." after a separator), shown on a right
    /// click on the window's background.
    QMenu* systemMenu() const { return systemMenu_; }

    /// Flips the setting of an area (or of the playlist panel) and collapses or expands it.
    void toggleArea(Area area);
    void togglePlaylistPanel();
    bool isAreaExpanded(Area area) const;

    /// Sets the status line to status `code` (0..4); the text changes only with the code.
    void setStatus(int code);
    int status() const { return status_; }

    /// Esc and the close box: closes only when the controls can be read.
    void reject() override;

    /// The recorder's capture session; nullptr before the window is initialised.
    recorder::CaptureSession* captureSession() const;
    /// The endpoint list, volume and mute in the endpoint mode; nullptr in the other modes.
    EndpointSettings* endpointSettings() const { return endpointSettings_; }
    /// The device's recording sources, Force selection and volume in ALSA mode; nullptr in
    /// the other modes.
    AlsaRecordingSettings* alsaSettings() const { return alsaSettings_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildControls(const DialogTemplate& tmpl);
    QWidget* createControl(const ControlTemplate& c);
    void initDialog();
    void arrangeForEndpointMode();
    /// Fills and connects the recording settings of the audio mode: the endpoint list, or
    /// the device's sources (recording_settings_wiring.cpp).
    void wireRecordingSettings();
    void setUpPictures();
    void fillDeviceAndFormatLists();
    void computeLayoutValues();
    void connectControls();
    void updateToggle(Area area);
    void updatePanelToggle();
    void applyWindowSize();
    void moveControls(std::initializer_list<MainCtl> ids, int dy);
    void setControlsVisible(std::initializer_list<MainCtl> ids, bool visible);
    void chooseRecordFolder();
    /// "Online Help": opens the help page; says why when it cannot.
    void openHelpPage();
    void tellStartupReport();
    bool exchangeFromControls(bool prompt);
    UserMessages& messages();
    /// Makes the capture session and connects the recorder's controls (recorder_wiring.cpp).
    void wireRecorder();
    /// Closing the window: false while recording or when the user keeps the record.
    bool recorderAllowsClose();
    /// Connects the playlist control with its buttons, slider, position control, time label,
    /// status line and the output-device menu (playlist_wiring.cpp).
    void wirePlaylist();
    /// Shows the output-device menu (commands 1144 to 1153) under the output-device button.
    void showOutputDeviceMenu();

    DialogServices services_;
    encoders::EncoderTable encoders_;
    std::unique_ptr<UserMessages> ownMessages_;
    RecorderSettings settings_;
    RecorderHistory history_;
    bool forceSelection_ = false; ///< "Force selection", not persisted
    bool mute_ = false;           ///< "Mute", not persisted
    int status_ = -1;
    EndpointSettings* endpointSettings_ = nullptr;  ///< child object, endpoint mode only
    AlsaRecordingSettings* alsaSettings_ = nullptr; ///< child object, ALSA mode only

    std::unordered_map<int, QWidget*> controls_;
    MainControls ui_;
    std::vector<QWidget*> allControls_;
    QMenu* systemMenu_ = nullptr;
    QMenu* outputMenu_ = nullptr; ///< the output-device menu, commands 1144 onwards

    // Layout values computed once at initialisation (client coordinates).
    QRect silenceGroup_;
    QRect savingGroup_;
    QSize fullSize_;
    int silenceAmount_ = 0; ///< A: change of height when the silence area collapses (< 0)
    int savingAmount_ = 0;  ///< B: the same for the saving area (< 0)
    int narrowWidth_ = 0;

    QStringList recovered_;
    QStringList notRecovered_;
    bool reportPending_ = false;

    /// The capture session with the view and displays it talks to (recorder_wiring.cpp).
    struct RecorderParts;
    struct RecorderPartsDeleter {
        void operator()(RecorderParts* parts) const;
    };
    std::unique_ptr<RecorderParts, RecorderPartsDeleter> recorder_;
};

} // namespace mireldo
