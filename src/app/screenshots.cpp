#include "app/screenshots.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "alarm/monitor.h"
#include "platform/qt/qt_platform.h"
#include "platform/window.h"
#include "settings/settings.h"
#include "shell/shell.h"

std::string WriteSilence()
{
    char path[] = "/tmp/cradlecom-silence-XXXXXX.wav";
    int fd = mkstemps(path, 4);
    if (fd < 0)
        return {};
    const unsigned rate = 11025, bytes = rate * 2;
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                                'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   1,   0};
    auto put = [&](int at, unsigned value, int size) {
        for (int i = 0; i < size; ++i)
            header[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put(4, 36 + bytes, 4);
    put(24, rate, 4);
    put(28, rate * 2, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    header[36] = 'd';
    header[37] = 'a';
    header[38] = 't';
    header[39] = 'a';
    put(40, bytes, 4);
    std::string data(bytes, '\0');
    bool written = write(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header) &&
                   write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fd);
    return written ? std::string(path) : std::string();
}

namespace {

struct ScreenshotRun {
    std::string directory;
    int step = 0;   // what the driver does next
    int waited = 0; // polls spent in this step
    bool english = false;
    HWND mainWindow = nullptr;
    int written = 0; // pictures saved
    int failed = 0;  // pictures that could not be saved
};

ScreenshotRun shots;

const WORD dialogCommands[] = {200, 300, 400, 450};
const int dialogIds[] = {113, 114, 115, 116};

std::string Suffix()
{
    return shots.english ? "-en.png" : "-de.png";
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
// "open" and a "save and cancel" step; then English or the end.
void Poll()
{
    ++shots.waited;
    if (shots.step == 0) {
        shots.mainWindow = FindWindowW(u"CradleCom", u"Cradlecom");
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
    if (dialog < 4) {
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
    if (!shots.english) {
        // In memory only: nothing is saved.
        shots.english = true;
        settings.Language = 1;
        CreateMainMenuBar(shots.mainWindow);
        monitor.clockRedraw = 10;
        InvalidateRect(shots.mainWindow, nullptr, TRUE);
        shots.step = 0;
        shots.waited = 0;
        return;
    }
    PostMessageW(shots.mainWindow, WM_CLOSE, 0, 0);
    shots.step = 100;
}

} // namespace

bool ScreenshotFolderUsable(const std::string& directory, std::string* problem)
{
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *problem = "there is no folder " + directory;
        return false;
    }
    if (access(directory.c_str(), W_OK) != 0) {
        *problem = "the folder " + directory + " may not be written to";
        return false;
    }
    return true;
}

bool ScreenshotsComplete()
{
    // The main screen and four dialogs, in two languages.
    return shots.failed == 0 && shots.written == 10;
}

void StartScreenshots(const std::string& directory)
{
    shots.directory = directory;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, Poll);
    timer->start(50);
}
