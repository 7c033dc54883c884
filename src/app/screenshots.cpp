// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenshots.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "alarm/monitor.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/posix/eventlog_file.h"
#include "platform/posix/runtime_folder.h"
#include "platform/qt/qt_platform.h"
#include "platform/recording/recording.h"
#include "platform/store/store_file.h"
#include "platform/window.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

// A second of silence as a WAV file in `folder`; its path, or empty.
std::string WriteSilence(const std::string& folder)
{
    const std::string path = folder + "/silence.wav";
    const std::vector<std::int16_t> silence(11025);
    return WriteWavFile(path, 11025, 1, silence.data(), silence.size(), nullptr) ? path
                                                                                 : std::string();
}

} // namespace

namespace {

struct ScreenshotRun {
    std::string directory;
    int step = 0;              // what the driver does next
    int waited = 0;            // polls spent in this step
    std::int32_t language = 0; // the row of the language table being shot
    HWND mainWindow = nullptr;
    int written = 0;           // pictures saved
    int failed = 0;            // pictures that could not be saved
    std::string privateFolder; // the run's own lock, socket and silence
};

ScreenshotRun shots;

const WORD dialogCommands[] = {cmdMicrophoneDialog, cmdPhoneDialog, cmdContactDialog,
                               cmdLanguageDialog};
const int dialogIds[] = {dlgMicrophone, dlgPhone, dlgContact, dlgLanguage};

std::string Suffix()
{
    return std::string("-") + languages[shots.language].code + ".png";
}

void Save(const QImage& image, const std::string& name)
{
    std::string path = shots.directory + "/" + name + Suffix();
    if (image.isNull() || !image.save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cradlecom: cannot write %s\n", path.c_str());
        ++shots.failed;
    } else {
        std::printf("%s\n", path.c_str());
        ++shots.written;
    }
}

// Steps: 0 wait for the band; 1 save the main screen; then per dialog an
// "open" and a "save and cancel" step; then the next language or the end.
void Poll()
{
    ++shots.waited;
    if (shots.step == 0) {
        // A first-use language dialog is nobody's picture: cancelled, it
        // changes nothing.
        if (HWND open = QtOpenDialog(); open != nullptr && shots.language == 0) {
            PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (shots.mainWindow == nullptr) {
            // The pictures show the screen as designed, whatever the display's size.
            shots.mainWindow = FindWindowW(u"CradleCom", u"Cradlecom");
            QtSetWindowScale(shots.mainWindow, 1.0);
        }
        // Each language whatever the store says, in memory only.
        if (shots.mainWindow != nullptr && settings.Language != shots.language) {
            settings.Language = shots.language;
            CreateMainMenuBar(shots.mainWindow);
            monitor.clockRedraw = ticksPerSecond;
            InvalidateRect(shots.mainWindow, nullptr, TRUE);
            shots.waited = 0;
            return;
        }
        // The band is drawn on the first tick after creation and after the
        // language switch, when clockRedraw comes back to 0.
        if (shots.mainWindow != nullptr && monitor.clockRedraw == 0 && shots.waited > 6) {
            Save(QtWindowSurface(shots.mainWindow), "main");
            shots.step = 1;
            shots.waited = 0;
        }
        return;
    }
    int dialog = (shots.step - 1) / 2;
    if (dialog < std::ssize(dialogIds)) {
        bool opening = (shots.step - 1) % 2 == 0;
        if (opening) {
            PostMessageW(shots.mainWindow, WM_COMMAND, dialogCommands[dialog], 0);
            ++shots.step;
            shots.waited = 0;
        } else if (QtOpenDialog() != nullptr && shots.waited > 4) {
            HWND open = QtOpenDialog();
            Save(QtWindowWidget(open)->grab().toImage(),
                 "dialog-" + std::to_string(dialogIds[dialog]));
            PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
            ++shots.step;
            shots.waited = 0;
        }
        return;
    }
    if (QtOpenDialog() != nullptr)
        return;
    if (shots.language + 1 < languageCount) {
        ++shots.language;
        shots.step = 0;
        shots.waited = 0;
        return;
    }
    PostMessageW(shots.mainWindow, WM_CLOSE, 0, 0);
    shots.step = 100;
}

} // namespace

bool PrepareScreenshots(const std::string& directory, bool inputChosen, std::string* problem)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error || !std::filesystem::is_directory(directory)) {
        *problem = "cannot make the folder " + directory + ": " +
                   (error ? error.message() : std::string("something else is in its place"));
        return false;
    }
    if (access(directory.c_str(), W_OK) != 0) {
        *problem = "the folder " + directory + " may not be written to";
        return false;
    }
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp") +
        "/cradlecom-screenshots-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        *problem = "cannot make a private folder beside " + pattern + ": " + std::strerror(errno);
        return false;
    }
    shots.privateFolder = pattern;
    // Apart from every other copy: a lock and a socket of its own, a store it
    // only reads (not even the first-use marker), no lines in the event log's
    // file, silence for a microphone and never a real call.
    UseOwnRuntimeFolder(shots.privateFolder);
    StoreSetReadOnly(true);
    KeepEventLogOffDisk();
    SetPhoneBackend("log", nullptr);
    if (!inputChosen) {
        std::string silence = WriteSilence(shots.privateFolder);
        if (silence.empty() || !SetWaveInputSource(silence.c_str(), nullptr)) {
            *problem = "cannot prepare silence to listen to";
            return false;
        }
    }
    return true;
}

void FinishScreenshots()
{
    if (shots.privateFolder.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(shots.privateFolder, ignored);
    shots.privateFolder.clear();
}

bool ScreenshotsComplete()
{
    // The main screen and four dialogs, in every language.
    return shots.failed == 0 && shots.written == (1 + std::ssize(dialogIds)) * languageCount;
}

void StartScreenshots(const std::string& directory)
{
    shots.directory = directory;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, Poll);
    timer->start(50);
}
