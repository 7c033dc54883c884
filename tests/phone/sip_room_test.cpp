// SPDX-License-Identifier: GPL-3.0-or-later
// What the whole product is for: when the program calls, the person who
// answers hears the room. The whole program runs on Qt's offscreen platform
// with --phone sip and a recording as the room; a second baresip answers
// by itself and records what it hears; the recording's loudness envelope
// is compared with the room's.
//
// Run once per room (the program runs once per process):
//   sip_room_test crying   the cry recording; the cry meter places the call
//   sip_room_test silent   a steady low hum; a cry limit of 0 calls at once
//
// The room reaches baresip through its aufile source, which plays the
// recording the program listens to from where the room's clock has got to:
// ALSA's file plugin, which would let both read the same PCM, hands out
// its samples as fast as they are asked for, with nothing to pace a call.
//
// The threshold: the envelopes are the loudness of every 50 ms in dB, and
// a call carries the room when they correlate by at least 0.8 at the best
// lag. G.711 changes a 50-ms loudness by well under a decibel, so the cry
// itself comes through at 0.99 and more; what is not the cry (the hum, a
// stretch of silence, the wrong part of the recording) stays far below, at
// chance level for an envelope of 80 and more frames.
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/platform.h"
#include "platform/qt/qt_platform.h"
#include "platform/recording/recording.h"
#include "platform/registry.h"
#include "shell/shell.h"
#include "sip_support.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct PlatformInstance {
    int unused;
};

namespace {

constexpr double kCarriesTheRoom = 0.8;
constexpr int kFrame = 400;        // 50 ms at 8000 Hz
constexpr double kFloorDb = -60.0; // quieter than this counts as this
constexpr int kLeastFrames = 60;   // 3 s: shorter overlaps say nothing
constexpr int kLongestRunMs = 60000;

PlatformInstance programInstance;
std::filesystem::path home;
std::string room; // "crying" or "silent"

std::vector<double> Envelope(const std::vector<std::int16_t>& samples)
{
    std::vector<double> envelope;
    for (std::size_t at = 0; at + kFrame <= samples.size(); at += kFrame) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + kFrame; ++i)
            sum += static_cast<double>(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / kFrame) / 32768.0;
        envelope.push_back(std::max(kFloorDb, 20.0 * std::log10(std::max(rms, 1e-9))));
    }
    return envelope;
}

double Correlation(const double* a, const double* b, int n)
{
    double meanA = 0.0, meanB = 0.0;
    for (int i = 0; i < n; ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= n;
    meanB /= n;
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int i = 0; i < n; ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    // A flat envelope follows nothing.
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

struct Match {
    double correlation = 0.0;
    int lag = 0;           // frames into the source where what was heard begins
    int frames = 0;        // frames compared
    double heardDb = 0.0;  // mean loudness of what was heard there
    double sourceDb = 0.0; // and of the source there
};

// What was heard against the source at every lag; the best.
Match BestMatch(const std::vector<double>& heard, const std::vector<double>& source)
{
    Match best;
    best.correlation = -1.0;
    for (int lag = 0; lag + kLeastFrames <= static_cast<int>(source.size()); ++lag) {
        const int n =
            std::min(static_cast<int>(heard.size()), static_cast<int>(source.size()) - lag);
        if (n < kLeastFrames)
            break;
        const double r = Correlation(heard.data(), source.data() + lag, n);
        if (r > best.correlation) {
            best.correlation = r;
            best.lag = lag;
            best.frames = n;
        }
    }
    for (int i = 0; i < best.frames; ++i) {
        best.heardDb += heard[i] / best.frames;
        best.sourceDb += source[best.lag + i] / best.frames;
    }
    return best;
}

void StoreSetting(HKEY key, const char16_t* name, const std::u16string& value)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

bool StoreSettings(const std::u16string& number, int cryThresh)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Veltrano\\CradleCom\\Settings", 0, nullptr,
                        0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    StoreSetting(key, u"Language", u"1");
    StoreSetting(key, u"VolSensi", u"50");
    StoreSetting(key, u"VolThresh", u"30");
    StoreSetting(key, u"CryThresh", cryThresh == 0 ? u"0" : u"10");
    StoreSetting(key, u"PhoneNumber", number);
    StoreSetting(key, u"PhoneDelay", u"1");
    StoreSetting(key, u"PhoneMaxCalls", u"1");
    StoreSetting(key, u"FirstUse", u"1");
    return RegCloseKey(key) == ERROR_SUCCESS;
}

// Presses Start once the window is up and closes the program once the
// callee's call is over, or after kLongestRunMs whatever happened.
struct Driver {
    Callee* callee = nullptr;
    bool started = false;
    int polls = 0;
};

Driver driver;

void Poll()
{
    ++driver.polls;
    HWND window = FindWindowW(u"CradleCom", u"Cradlecom");
    if (window == nullptr)
        return;
    if (!driver.started) {
        PostMessageW(window, WM_COMMAND, 500, 0);
        driver.started = true;
    }
    if (driver.callee->Output().contains(QLatin1String("terminated")) ||
        driver.polls * 100 >= kLongestRunMs)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST(SipRoom, TheCalleeHearsTheRoom)
{
    if (!BaresipInstalled())
        GTEST_SKIP() << "baresip is not installed";
    const bool crying = room == "crying";
    const std::string recording =
        std::string(CRADLECOM_DATA_DIR) + (crying ? "/cry_bouts.flac" : "/room_hum.flac");
    const std::string cry = std::string(CRADLECOM_DATA_DIR) + "/cry_bouts.flac";

    Callee callee;
    const int calleePort = FreePortPair();
    const int callerPort = FreePortPair();
    ASSERT_NE(calleePort, 0);
    ASSERT_NE(callerPort, 0);
    ASSERT_NE(calleePort, callerPort);
    ASSERT_TRUE(callee.Start(calleePort)) << callee.Output().toStdString();
    driver.callee = &callee;

    const QString config = QString::fromStdString((home / "cradlecom").string());
    ASSERT_TRUE(QDir().mkpath(config));
    ASSERT_TRUE(WriteFileWithMode(
        config + QStringLiteral("/sip-account"),
        QStringLiteral("<sip:monitor@127.0.0.1:%1>;regint=0;auth_pass=Geheim-4711\n")
            .arg(calleePort)
            .toUtf8(),
        0600));
    ASSERT_TRUE(WriteFileWithMode(
        config + QStringLiteral("/sip-config"),
        QStringLiteral("sip_listen 127.0.0.1:%1\n").arg(callerPort).toUtf8(), 0644));
    ASSERT_TRUE(StoreSettings(callee.Address().toStdU16String(), crying ? 10 : 0));
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(recording.c_str(), &error)) << error;
    ASSERT_TRUE(SetPhoneBackend("sip", &error)) << error;
    StartPhoneBackend();

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, Poll);
    timer.start(100);
    EXPECT_EQ(WinMain(&programInstance, nullptr, nullptr, SW_SHOW), 0);
    timer.stop();
    ASSERT_LT(driver.polls * 100, kLongestRunMs) << callee.Output().toStdString();
    // The callee closes what it heard when the call is over.
    callee.Stop();

    const std::string events =
        ReadWholeFile(QString::fromStdString((home / "cradlecom" / "events.log").string()))
            .toStdString();
    const std::string address = callee.Address().toStdString();
    EXPECT_NE(events.find("call placed: " + address), std::string::npos) << events;
    EXPECT_NE(events.find("phone: call to " + address + ": answered"), std::string::npos) << events;
    EXPECT_EQ(events.find("Geheim-4711"), std::string::npos);

    ASSERT_FALSE(callee.HeardRecording().isEmpty()) << callee.Output().toStdString();
    std::vector<std::int16_t> heardSamples;
    std::vector<std::int16_t> crySamples;
    ASSERT_TRUE(LoadRecording(callee.HeardRecording().toStdString(), 8000, &heardSamples, &error))
        << error;
    ASSERT_TRUE(LoadRecording(cry, 8000, &crySamples, &error)) << error;
    const std::vector<double> heard = Envelope(heardSamples);
    const Match match = BestMatch(heard, Envelope(crySamples));
    std::printf("%s room: the callee heard %.2f s; against the cry at lag %.2f s over %.2f s: "
                "correlation %.4f, loudness %.1f dB heard, %.1f dB sent\n",
                room.c_str(), heardSamples.size() / 8000.0, match.lag * 0.05, match.frames * 0.05,
                match.correlation, match.heardDb, match.sourceDb);
    RecordProperty("correlation", std::to_string(match.correlation));
    if (crying) {
        // The call comes once the cry has begun and lasts to the recording's end.
        EXPECT_GE(heardSamples.size(), 10u * 8000u);
        EXPECT_GE(match.correlation, kCarriesTheRoom);
        EXPECT_NEAR(match.heardDb, match.sourceDb, 1.5);
        // The room as it is when the call comes: the cry begins at 1.9 s, so
        // what the callee hears cannot begin earlier in the recording.
        EXPECT_GE(match.lag * 0.05, 1.9);
    } else {
        EXPECT_GE(heardSamples.size(), 4u * 8000u);
        EXPECT_LT(match.correlation, kCarriesTheRoom);
        EXPECT_LT(match.heardDb, -45.0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2 || (std::string(argv[1]) != "crying" && std::string(argv[1]) != "silent")) {
        std::fprintf(stderr, "usage: sip_room_test crying|silent\n");
        return 2;
    }
    room = argv[1];
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                          "/cradlecom-sip-room-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    home = pattern;
    // Settings, account, event log, lock, socket and baresip's folder all
    // stay in the private home.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR",
                             "CRADLECOM_SYSTEM_ROOT"})
        setenv(name, pattern.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QtPlatformInit(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // baresip ends before its folder goes.
    SetPhoneBackend("log", nullptr);
    StartPhoneBackend();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
