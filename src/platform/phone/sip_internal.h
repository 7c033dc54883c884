// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the files of the SIP backend: the call (sip.cpp), baresip's
// process (sip_baresip.cpp) and its configuration (sip_config.cpp). Nothing
// else includes it.
#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

#include "platform/alsa/wave_source.h"
#include "platform/phone/sip_account.h"
#include "platform/types.h"

namespace sip_internal {

// The one call under way.
struct SipCall {
    LONG id = 0;              // 0 when there is none
    QString number;           // as it was asked for
    QString address;          // the sip: address dialled
    bool dialled = false;     // the dial command has gone to baresip
    QString callId;           // baresip's id of it, from its first event
    QString accountAor;       // the account it went out from, as baresip names it
    bool placed = false;      // it rang or was answered
    bool answered = false;    // it was answered
    bool roomPending = false; // the recording's sound for it is being written
};

// A message for the parent, from PhoneSendMessage to baresip's answer.
struct SipMessage {
    LONG id;
    QString address; // the sip: address it goes to
    QString text;
    bool handed; // given to baresip; its answer is awaited
};

// Touched on the window thread only.
struct SipPhone {
    QString program;                 // baresip, as found when the backend was chosen
    SipAccount account;              // valid while accountRead
    bool accountRead = false;        // the account file was read and accepted
    QTemporaryDir* folder = nullptr; // baresip's configuration; gone at exit
    QString roomRecording;           // a recording's sound for the call, in folder; else empty
    QProcess* process = nullptr;     // null while baresip is not running
    bool ready = false;              // baresip said it is ready
    QElapsedTimer startedAt;         // when the running baresip was started
    int restartDelayMs = 0;          // the wait before the next restart
    QTimer* restartTimer = nullptr;  // runs while a restart is due
    QString registration;            // the registration state last logged
    SipCall call;
    // Outgoing calls of this baresip that are no longer the monitor's: their
    // late events are not the next call's.
    QStringList endedIds;
    // A call given up before any event told its id is being hung up; no
    // call is dialled until it is gone.
    bool orphan = false;
    int orphanTries = 0;
    QTimer* callGuard = nullptr;        // bounds the wait for baresip and for the call
    int ringTimeoutMs = 120000;         // a call not answered by then is hung up
    int longestCallMs = 30 * 60 * 1000; // an answered call is ended after this
    bool exitHookSet = false;
    // baresip sends a message to its current contact only, read from its
    // folder at its start: the address it was started with; empty: none.
    QString contact;
    std::vector<SipMessage> messages; // not yet answered
};

extern SipPhone sip; // sip.cpp

// Text for the event log without the account's secrets, and a line
// "phone: TEXT" of it.
QString AccountText(const QString& text);
void Note(WORD type, const QString& text);
// Control characters as \xNN: what a caller or a file chose is shown, not obeyed.
QString Escaped(const QString& text);

// The call's side of what baresip says (sip.cpp): the channel's handlers,
// and the end of the call baresip carried when it is gone.
void OnChannelReady();
void OnEvent(const QJsonObject& event);
void OnResponse(const QJsonObject& response);
void EndCallWithBaresip(const QString& why);
// Reads the account file into `sip`; false with why (sip.cpp).
bool ReadAccount(QString* problem);

// Messages for the parent (sip_message.cpp): the backend's message
// operation, what baresip answered to a message's command, and the
// messages that wait for a ready baresip (sent from OnReady).
void MessageThroughSip(LONG id, const QString& number, const QString& text);
void AnswerMessage(const QString& token, bool ok, const QString& data);
void SendWaitingMessages();

// baresip's process (sip_baresip.cpp). FindBaresip: false with a reason
// when it is not installed. MakeFolder: its private folder, made once.
// StartBaresip: starts it unless it runs; the empty text, else why it cannot
// (logged). StopBaresip: ends it, and baresip hangs up the call it carries.
bool FindBaresip(const QString& argument, QString* problem);
bool MakeFolder(QString* problem);
QString StartBaresip();
void StopBaresip();

// baresip's configuration (sip_config.cpp): the microphone the program
// listens to (or the recording it plays), nothing played into the room,
// G.711, no video, the channel to the program, and the user's sip-config.
// Empty with *problem when a value of the program's own cannot go into it.
QByteArray BaresipConfig(const WaveInputSourceInfo& input, const QString& channelPath,
                         QString* problem);

} // namespace sip_internal
