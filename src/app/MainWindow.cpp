#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

#include "app/Artwork.h"
#include "app/CommandDispatch.h"
#include "app/EngineEvent.h"
#include "app/ExportRunner.h"
#include "app/WaveformSource.h"
#include "app/InfoPanel.h"
#include "app/RecordingRows.h"
#include "app/LocaleText.h"
#include "controller/Commands.h"
#include "controller/Duration.h"
#include "controller/EventDispatch.h"
#include "engine/Messages.h"
#include "platform/posix/TerminationSignals.h"
#include "recordings/Naming.h"
#include "recordings/RecordingList.h"
#include "recordings/StorageLocations.h"
#include "storage/Recovery.h"
#include "ui/Fonts.h"
#include "ui/KeyMap.h"
#include "ui/KeypadFilter.h"
#include "ui/OptionsListDialog.h"
#include "ui/RenameDialog.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::app {
namespace {

using controller::Control;
namespace vk = settings::vk;

// The keypad screen the window is a picture of, and its three bands.
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kSoftKeyHeight = 28;

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// Action, Back, the assignable keys, and the keypad's own keys the states act on.
bool ListTakes(std::uint32_t key) {
    return key == vk::Action || key == vk::Back || key == vk::RecordKey || key == vk::End || key == vk::VolumeUp ||
           key == vk::VolumeDown || settings::IsAssignable(key);
}

}  // namespace

MainWindow::MainWindow(const MainWindowServices& s, QWidget* parent)
    : QWidget(parent), services(s), options(s.store) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(ApplicationIcon());
    createList();
    createPanel();
    createSoftKeys();
    createTimers();
    createOptionsContext();
    createListening();
    // The assignments are the window's for its whole life; the menu captions show them.
    options.readKeys();
    machine = std::make_unique<controller::Controller>(
        controller::ControllerServices{*this, services.engine, services.shell, services.files});
    resize(2 * kScreenWidth, 2 * kScreenHeight);
}

MainWindow::~MainWindow() = default;

// --- construction ------------------------------------------------------------------------

void MainWindow::createList() {
    rows = new RecordingRows(*this, services.files);
    list = &rows->view();
    connect(rows, &RecordingRows::rowActivated, this, [this](int row) { actionOnRow(row); });
    // The panel shows the highlighted recording; only what the user moves counts.
    connect(rows, &RecordingRows::highlightMoved, this, [this] {
        if (keyForwarding) current->OnHighlightRow(rows->highlightedPath());
    });
}

void MainWindow::createPanel() {
    // Only a picture with fields on it, which take neither clicks nor the
    // focus; its waveform takes clicks to seek.
    info = new InfoPanel(this);
}

void MainWindow::createListening() {
    speed = std::make_unique<controller::PlaybackSpeed>(options, services.engine);
    waveformSource = std::make_unique<WaveformSource>(services.files, platform::CacheFolder(), info->waveform());
    connect(&info->waveform(), &WaveformView::seekRequested, this, &MainWindow::seekTo);
    exporter = std::make_unique<ExportRunner>(services.files, services.shell,
                                              [this](const std::string& text) { ShowNotice(text); });
    exportChoice = new QMenu(this);
    exportChoice->setObjectName(QStringLiteral("exportMenu"));
    const std::pair<exporting::ExportFormat, const char*> kChoices[] = {
        {exporting::ExportFormat::Opus, "Opus (speech, 24 kbit/s)"},
        {exporting::ExportFormat::Flac, "FLAC"},
        {exporting::ExportFormat::Mp3, "MP3"},
        {exporting::ExportFormat::Wav, "WAV"}};
    for (const auto& [format, label] : kChoices) {
        QAction* action = exportChoice->addAction(QString::fromUtf8(label));
        action->setData(static_cast<int>(format));
        action->setEnabled(exporting::CanWrite(format));
    }
    connect(exportChoice, &QMenu::triggered, this, [this](QAction* action) {
        const auto format = static_cast<exporting::ExportFormat>(action->data().toInt());
        const std::string path = SelectedRowPath().empty() ? currentPath : SelectedRowPath();
        static_cast<void>(exporter->start(path, format));
    });
}

void MainWindow::showSpeed() { info->setSpeed(QString::fromUtf8(speed->Label().c_str())); }

// Export offers its formats, Opus first, for the recording the user sees.
void MainWindow::chooseExport() {
    if (exporter->running() || (SelectedRowPath().empty() && currentPath.empty())) return;
    const QPushButton& key = keys->rightButton();
    const QSize size = exportChoice->sizeHint();
    exportChoice->setActiveAction(exportChoice->actions().front());
    exportChoice->popup(key.mapToGlobal(QPoint(key.width() - size.width(), -size.height())));
}

// A click on the waveform seeks the selected recording, as winding does.
void MainWindow::seekTo(std::uint32_t ms) {
    const bool selected = current == &machine->fileSelected || current == &machine->play ||
                          current == &machine->pausePlay;
    if (!selected || currentPath.empty()) return;
    static_cast<void>(services.engine.SetPosition(static_cast<std::int32_t>(std::min<std::uint32_t>(ms, 0x7FFFFFFF))));
}

bool MainWindow::recording() const {
    const controller::State* s = current;
    return s == &machine->record || s == &machine->recordAppend || s == &machine->recordInsert ||
           s == &machine->recordOverwrite;
}

// The waveform follows the playback, or grows with a recording in progress.
void MainWindow::followPlayback() {
    const controller::State* s = current;
    if (recording()) {
        waveformSource->grow(services.engine.GetPositionMs(), services.engine.GetLevelPercent());
    } else if (s == &machine->play || s == &machine->pausePlay || s == &machine->fileSelected) {
        info->waveform().setPositionMs(services.engine.GetPositionMs());
    }
}

void MainWindow::createSoftKeys() {
    keys = new ui::SoftKeyBar(this);
    menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("softKeyMenu"));
    connect(keys, &ui::SoftKeyBar::commandChosen, this, [this](std::uint32_t id) {
        if (id == controller::cmd::Menu) {
            openMenu();
        } else {
            command(id);
        }
    });
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::menuAboutToShow);
    connect(menu, &QMenu::aboutToHide, this, &MainWindow::menuAboutToHide);
    // The command runs once the menu has closed, as a chosen menu item always did.
    connect(menu, &QMenu::triggered, this, [this](QAction* item) {
        const std::uint32_t id = item->data().toUInt();
        QMetaObject::invokeMethod(this, [this, id] { command(id); }, Qt::QueuedConnection);
    });
}

void MainWindow::createTimers() {
    struct TimerSetup {
        int id;
        int milliseconds;
        bool singleShot;
        void (MainWindow::*tick)();
    };
    const TimerSetup kTimers[] = {{timer::KeepAwake, 60'000, false, &MainWindow::keepAwakeTick},
                                  {timer::Clock, 500, false, &MainWindow::clockTick},
                                  {timer::Level, 200, false, &MainWindow::levelTick},
                                  {timer::Limit, 60'000, true, &MainWindow::limitReached},
                                  {timer::List, 5'000, false, &MainWindow::listTick},
                                  {timer::Suppress, 200, true, &MainWindow::suppressEnded}};
    for (const TimerSetup& setup : kTimers) {
        auto* t = new QTimer(this);
        t->setObjectName(QStringLiteral("timer%1").arg(setup.id));
        t->setInterval(setup.milliseconds);
        t->setSingleShot(setup.singleShot);
        // A coarse timer may fire up to 5 % early: minutes early for a long limit.
        if (setup.id == timer::Limit) t->setTimerType(Qt::PreciseTimer);
        connect(t, &QTimer::timeout, this, setup.tick);
        timers[setup.id] = t;
    }
}

void MainWindow::createOptionsContext() {
    optionsContext = std::make_unique<ui::OptionsContext>(ui::OptionsContext{
        options, services.shell, services.files, services.recordingProbe, [this] { return probeFormats(); },
        [this] { current->UpdateMenu(); }});
    if (services.microphones) optionsContext->microphones = services.microphones;
    if (services.useMicrophone) optionsContext->microphoneChosen = services.useMicrophone;
}

// --- start-up ------------------------------------------------------------------------------

bool MainWindow::initialise() {
    readSettings();
    recoverRecordings();
    setUpSoftKeys();
    if (!startEngine()) return false;
    info->setLevel(0);  // the meter starts with every segment hidden
    machine->RestoreVolume();
    current->Enter();
    setUpList();
    current->OnListTimer();
    selectFirstRow();
    startTimers();
    setWindowTitle(QStringLiteral("Tavrin"));
    return true;
}

void MainWindow::readSettings() {
    documentsFolder = recordings::WithoutTrailingSlash(services.shell.documentsFolder());
    rows->setDocumentsFolder(documentsFolder);
    options.readSettings();
    // Before the formats are asked for: they are the chosen microphone's.
    options.readMicrophone();
    options.readVolume();
    if (services.useMicrophone) services.useMicrophone(options.microphone());
    options.validateFormat(settings::SupportedFormats(probeFormats(), services.shell));
    speed->Restore();
    showSpeed();
    const std::string stored = options.saveLocation();
    options.validateSaveLocation(recordings::StorageLocations(services.shell, services.files).list());
    // The card was taken out while the recorder was not running: the first
    // recording sent elsewhere says so.
    // A first start has no location stored: nothing was replaced then.
    if (!stored.empty() && options.saveLocation() != stored) machine->vars.saveLocationReplaced = true;
}

// Recordings a crash, a kill or a power cut left unfinished are repaired
// before they are listed, and the user hears once which ones and how long
// each is now.
void MainWindow::recoverRecordings() {
    const auto recovered = storage::RecoverRecordings(services.files, services.journalFolder);
    if (recovered.empty()) return;
    std::string text = "Recordings recovered after Tavrin was ended unexpectedly:";
    for (const auto& r : recovered) {
        std::string name = r.path.substr(r.path.rfind('/') + 1);
        if (name.size() > 4 && QString::fromStdString(name.substr(name.size() - 4)).compare(".wav", Qt::CaseInsensitive) == 0)
            name.resize(name.size() - 4);
        const std::string outcome = !r.setAside.empty() ? "left as it is (" + r.setAside + ")"
                                    : r.repaired        ? controller::FormatDuration(r.lengthMs / 1000)
                                                        : std::string("could not be repaired");
        text += "\n" + name + "  " + outcome;
    }
    services.shell.messageBox(text, "Tavrin", platform::mb::IconAsterisk | platform::mb::Ok);
}

void MainWindow::setUpSoftKeys() {
    keys->setLeft(controller::cmd::Record, tr("Record"));
    keys->setRight(controller::cmd::Menu, tr("Menu"));
    // What the menu holds until the first state fills in its own.
    ReplaceMenuItems({{controller::mf::Enabled, controller::cmd::Options, "Options"},
                      {controller::mf::Enabled, controller::cmd::Record, "Record"},
                      {controller::mf::Enabled, controller::cmd::Play, "Play"},
                      {controller::mf::Enabled, controller::cmd::Stop, "Stop"}});
}

bool MainWindow::startEngine() {
    // Without its thread the engine can neither record nor play: the user is
    // told why, and the program does not pretend to work.
    const engine::ResultCode result = services.startEngine(*this);
    if (result.Ok()) return true;
    engine::ShowResult(services.shell, result.Detail(), result.Code());
    return false;
}

void MainWindow::setUpList() {
    new ui::KeypadFilter(*list, ListTakes, [this](std::uint32_t key) { listKeyUp(key); });
    arrange();
}

void MainWindow::selectFirstRow() {
    list->setFocus();
    // As a press of Down would: the panel shows the first recording at once.
    if (QTreeWidgetItem* first = list->topLevelItem(0)) list->setCurrentItem(first);
}

void MainWindow::startTimers() {
    timersStarted = true;
    runTimersForState();
}

// A repeating timer runs only in the states where it shows or does anything:
// a window at rest wakes for nothing but the list, which other programs may
// change, and a recording does not look at the list.
void MainWindow::runTimersForState() {
    if (!timersStarted) return;
    const bool pausedRecording = current == &machine->pauseRecord || current == &machine->pauseRecordAppend ||
                                 current == &machine->pauseRecordInsert || current == &machine->pauseRecordOverwrite;
    const bool playing = current == &machine->play;
    const struct {
        int id;
        bool wanted;
    } plan[] = {{timer::KeepAwake, recording() || pausedRecording},
                {timer::Clock, recording() || playing},
                {timer::Level, !resting()},
                {timer::List, !recording()}};
    for (const auto& [id, wanted] : plan) {
        QTimer& t = *timers.at(id);
        // A running timer keeps its phase: a state change is no tick.
        if (!wanted) {
            t.stop();
        } else if (!t.isActive()) {
            t.start();
        }
    }
}

// --- layout -----------------------------------------------------------------------------------

void MainWindow::arrange() {
    const qreal s = std::max(0.5, std::min(width() / qreal(kScreenWidth), height() / qreal(kScreenHeight)));
    const int softKeys = static_cast<int>(std::lround(kSoftKeyHeight * s));
    const int panel = static_cast<int>(std::lround(InfoPanel::kHeight * s));
    const int listHeight = std::max(0, height() - softKeys - panel);
    list->setGeometry(0, 0, width(), listHeight);
    info->setGeometry(0, listHeight, width(), panel);
    keys->setGeometry(0, height() - softKeys, width(), softKeys);
    if (std::abs(s - scale) < 0.01 && list->iconSize().width() > 0) return;
    scale = s;
    info->setScale(s);
    keys->setFont(ui::CaptionFontScaled(s));
    rows->setScale(s);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

// --- the current state ------------------------------------------------------------------------

void MainWindow::SetCurrentState(controller::State& state) {
    current = &state;
    newRecordingStarting = false;
    if (rows && machine) rows->allowHint(resting());  // the first state is set while the machine is made
    if (machine) runTimersForState();
    // A close asked for during a recording waits until the recording is saved.
    if (closing.Pending()) QMetaObject::invokeMethod(this, [this] { closing.Continue(); }, Qt::QueuedConnection);
}

bool MainWindow::resting() const { return current == &machine->idle || current == &machine->fileSelected; }

bool MainWindow::engineBusy() const { return services.engineBusy && services.engineBusy(); }

// A recording the close stopped before it had begun holds no audio: it
// leaves no empty file behind. Anything recorded stays.
void MainWindow::dropEmptyNewRecording() {
    if (currentPath.empty() || currentPath != newRecordingPath || lengthMs > 0) return;
    static_cast<void>(services.engine.CloseFile());
    static_cast<void>(recordings::DeleteRecording(services.files, services.shell, currentPath));
    currentPath.clear();
}

// --- the panel ----------------------------------------------------------------------------------

void MainWindow::RefreshFileFacts() {
    recordingTime.reset();
    if (currentPath.empty()) return;
    // One file's facts, not its folder's: this runs on every selection and
    // while the engine thread waits for FileReady.
    const auto entry = services.files.entry(currentPath);
    if (!entry || entry->isDirectory) return;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(entry->modifiedSeconds);
    if (local.isValid()) recordingTime = local;
}

void MainWindow::RefreshPanel() {
    for (Control c : {Control::Name, Control::Length, Control::Date, Control::Time}) info->setText(c, {});
    waveformSource->show(currentPath);
    info->setMarkCount(currentPath.empty() ? 0 : services.engine.MarkCount());
    if (currentPath.empty()) return;
    info->setText(Control::Name, FromStd(recordings::RecordingName(currentPath)));
    // Shown for a card and hidden again for main memory, so that it never
    // stays behind from the recording selected before.
    Show(Control::CardIcon, !recordings::IsInside(currentPath, documentsFolder));
    if (recordingTime) {
        const QLocale locale;
        info->setText(Control::Date, ShortDate(locale, recordingTime->date()));
        info->setText(Control::Time, TimeWithoutSeconds(locale, recordingTime->time()));
    }
    if (lengthMs >= 0)
        info->setText(Control::Length, QLatin1Char('/') + FromStd(controller::FormatDuration(lengthMs / 1000)));
}

void MainWindow::Show(Control control, bool shown) { info->control(control).setVisible(shown); }

bool MainWindow::IsShown(Control control) const { return !info->control(control).isHidden(); }

void MainWindow::SetPositionText(const std::string& text) { info->setText(Control::Position, FromStd(text)); }

void MainWindow::SetTimeLeftText(const std::string& text) { info->setText(Control::TimeLeft, FromStd(text)); }

void MainWindow::ShowLevel(std::uint32_t percent) { info->setLevel(percent); }

void MainWindow::ShowNotice(const std::string& text) { info->setNotice(FromStd(text)); }

void MainWindow::FlashNotice(const std::string& text) { info->flashNotice(FromStd(text)); }

void MainWindow::ShowMarkCount(std::uint32_t count) { info->setMarkCount(count); }

// --- soft keys and menu ---------------------------------------------------------------------------

std::uint32_t MainWindow::LeftSoftKeyCommand() const { return keys->leftCommand(); }

void MainWindow::SetLeftSoftKey(std::uint32_t id, const std::string& label) { keys->setLeft(id, FromStd(label)); }

void MainWindow::EnableSoftKey(std::uint32_t id, bool enabled) { keys->setCommandEnabled(id, enabled); }

void MainWindow::CloseSoftKeyMenu() {
    if (menuShown) menu->hide();
}

void MainWindow::ReplaceMenuItems(const std::vector<controller::MenuItem>& items) {
    menu->clear();
    for (const controller::MenuItem& item : items) {
        if (item.flags & controller::mf::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(FromStd(item.caption));
        action->setData(item.command);
        action->setEnabled((item.flags & controller::mf::Grayed) == 0);
    }
}

void MainWindow::openMenu() {
    if (menu->isEmpty()) return;
    const QPushButton& key = keys->rightButton();
    const QSize size = menu->sizeHint();
    menu->popup(key.mapToGlobal(QPoint(key.width() - size.width(), -size.height())));
}

void MainWindow::menuAboutToShow() {
    // "Cut between marks" depends on the place, which moves without a new state.
    if (current == &machine->fileSelected) current->UpdateMenu();
    menuShown = true;
    suppressAction = true;
    timers.at(timer::Suppress)->stop();
}

void MainWindow::menuAboutToHide() {
    menuShown = false;
    // The Action press that picked an item is released after the menu has
    // gone; it must not play the selected recording as well.
    timers.at(timer::Suppress)->start();
}

void MainWindow::command(std::uint32_t id) {
    // Speed and Export depend on no state: the window serves them itself.
    if (id == controller::cmd::Speed) {
        speed->Cycle();
        showSpeed();
    } else if (id == controller::cmd::Export) {
        chooseExport();
    } else if (!machine->marks.OnCommand(id)) {
        DispatchCommand(*current, id);
    }
}

// --- the list ------------------------------------------------------------------------------------------

std::string MainWindow::SelectedRowPath() { return rows->highlightedPath(); }

void MainWindow::RefreshList() { rows->refresh(recordings::StorageLocations(services.shell, services.files).list()); }

void MainWindow::HighlightRow(const std::string& path) {
    rows->highlight(path);
    list->setFocus();
}

void MainWindow::listKeyUp(std::uint32_t key) {
    if (key == vk::Action) {
        QTreeWidgetItem* item = list->currentItem();
        if (item && item->isSelected()) actionOnRow(list->indexOfTopLevelItem(item));
    } else if (key == vk::Back) {
        goBack();
    } else if (keyForwarding) {
        if (speed->OnKey(options.keys(), key)) {
            showSpeed();
        } else if (!machine->marks.OnKey(options.keys(), key)) {
            current->OnKey(key);
        }
    }
}

void MainWindow::actionOnRow(int row) {
    if (suppressAction || row < 0 || row >= list->topLevelItemCount()) return;
    // Between a command and the engine's answer the state takes nothing, as
    // the soft keys and the assigned keys show: a row activated then would
    // be played, or edited, in place of the one the command was for.
    if (!keyForwarding) return;
    dispatch(controller::kActivateRow, static_cast<std::uint32_t>(row), 0);
}

void MainWindow::goBack() {
    // While an export runs, Back stops it.
    if (exporter->running()) {
        exporter->cancel();
        return;
    }
    // Back hands the desktop to whatever was used before; the recorder keeps
    // running (and recording) and comes back with its window.
    showMinimized();
}

// --- keys that reach the window itself ---------------------------------------------------------------------

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const std::uint32_t key = ui::VirtualKeyOf(*event);
    if (key == ui::kVkLeftSoftKey || key == ui::kVkRightSoftKey || key == vk::Back) return;
    QWidget::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    const std::uint32_t key = ui::VirtualKeyOf(*event);
    if (key != ui::kVkLeftSoftKey && key != ui::kVkRightSoftKey && key != vk::Back) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (ui::IsIgnoredKeyUp(*event)) return;
    if (key == vk::Back) {
        goBack();
    } else {
        keys->press(key);
    }
}

// --- dialogs ----------------------------------------------------------------------------------------------------

std::optional<std::string> MainWindow::RunRenameDialog(const std::string& path) {
    return ui::RenameDialog::Run(this, services.files, services.shell, path);
}

void MainWindow::OpenOptions(bool recordingInProgress) {
    ui::OptionsListDialog dialog(this, *optionsContext, recordingInProgress);
    dialog.exec();
}

std::optional<std::uint32_t> MainWindow::probeFormats() {
    std::uint32_t mask = 0;
    if (!services.engine.ProbeFormats(mask)) return std::nullopt;
    return mask;
}

namespace {

bool IsRecordStart(std::uint32_t message) {
    for (const std::uint32_t base : {engine::kEventBasePlain, engine::kEventBaseOverwrite, engine::kEventBaseAppend,
                                     engine::kEventBaseInsert}) {
        if (message == engine::kEvRecordStart + base) return true;
    }
    return false;
}

}  // namespace

// --- messages, timers, power --------------------------------------------------------------------------------

void MainWindow::dispatch(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message == controller::kActivateRow) {
        current->OnActivateRecording(rows->pathOf(static_cast<int>(wParam)));
    } else if (message == engine::kEvError) {
        current->OnEngineError(wParam, lParam);
    } else {
        controller::DispatchAppMessage(*current, message);
        if (IsRecordStart(message)) showInputNotice();
        // At rest no timer moves the waveform's cursor: a seek or a playback's end does.
        if (resting()) followPlayback();
    }
}

// A chosen microphone that was missing: the recording runs from the
// desktop's default, and the panel's notice line says so.
void MainWindow::showInputNotice() {
    if (!services.takeInputNotice) return;
    const auto notice = services.takeInputNotice();
    if (notice) ShowNotice(*notice);
}

void MainWindow::post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    QCoreApplication::postEvent(this, new EngineEvent(message, wParam, lParam));
}

void MainWindow::send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (QThread::currentThread() == thread()) {
        dispatch(message, wParam, lParam);
        return;
    }
    auto delivery = std::make_shared<Delivery>();
    QCoreApplication::postEvent(this, new EngineEvent(message, wParam, lParam, delivery));
    delivery->wait();
}

bool MainWindow::event(QEvent* e) {
    EngineEvent::AcquirePosted();
    if (e->type() != EngineEvent::Kind()) return QWidget::event(e);
    const EngineEvent::Payload message = static_cast<const EngineEvent&>(*e).payload;
    dispatch(message.message, message.wParam, message.lParam);
    return true;
}

void MainWindow::keepAwakeTick() { current->OnKeepAwakeTimer(); }

void MainWindow::clockTick() {
    current->OnClockTimer();
    current->OnRemainingTimer();
}

void MainWindow::levelTick() {
    current->OnLevelTimer();
    current->OnBlinkTimer();
    followPlayback();
}

void MainWindow::listTick() { current->OnListTimer(); }

void MainWindow::limitReached() {
    timers.at(timer::Limit)->stop();
    current->OnStop();
}

void MainWindow::suppressEnded() { suppressAction = false; }

void MainWindow::PostQuit(int exitCode) {
    if (services.quit) {
        services.quit(exitCode);
    } else {
        QCoreApplication::exit(exitCode);
    }
}

void MainWindow::StartLimitTimer(std::uint32_t milliseconds) {
    timers.at(timer::Limit)->start(static_cast<int>(std::min<std::uint32_t>(milliseconds, 0x7FFFFFFF)));
}

void MainWindow::KillLimitTimer() { timers.at(timer::Limit)->stop(); }

std::optional<std::uint32_t> MainWindow::LimitRemainingMs() const {
    const QTimer& limit = *timers.at(timer::Limit);
    if (!limit.isActive()) return std::nullopt;
    return static_cast<std::uint32_t>(std::max(0, limit.remainingTime()));
}

controller::PowerStatus MainWindow::GetPowerStatus() {
    const platform::PowerStatus status = services.power.status();
    return {status.externalPower, status.batteryFlag};
}

void MainWindow::ResetIdleTimer() { services.power.keepAwake(); }

void MainWindow::closeEvent(QCloseEvent* event) {
    // A recording is stopped and saved first (one that has not reported its
    // start yet, once it has), and the window closes after.
    if (!machine || closing.Ask(newRecordingStarting)) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::closeForTermination() {
    terminating = true;
    // A dialog's own loop would keep the program alive after the window closed.
    for (int guard = 0; guard < 8; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == this) break;
        modal->close();
        if (QApplication::activeModalWidget() == modal) break;  // it refused
    }
    // During the start-up steps the window is not up yet: it is never shown.
    if (isVisible()) close();
}

bool CloseOnTerminationSignals(MainWindow& window) {
    const int readEnd = platform::CatchTerminationSignals();
    if (readEnd < 0) return false;
    auto* notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [readEnd, &window] {
        if (platform::TakeTerminationSignals(readEnd) > 0) window.closeForTermination();
    });
    return true;
}

}  // namespace tavrin::app
