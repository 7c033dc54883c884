// SPDX-License-Identifier: GPL-3.0-or-later
// Chooses and configures how PhoneMakeCall places its calls. Called by the
// program's start-up (and tests) on the window thread; not thread-safe.
//
//   "automatic"       the default. At each call, looks for a registered
//                     voice modem through ModemManager (without waiting) and
//                     dials it; with none (or no system bus) the request is
//                     only logged: LOGGED, with what was missing, and a line
//                     on standard output as for "log". A modem that
//                     registers later is used from the next call on.
//                     PhoneGetRoute tells PHONE_ROUTE_NONE once a look has
//                     found no modem (PHONE_ROUTE_LOG before the first
//                     answer).
//   "modemmanager"    a voice call through ModemManager on the system bus.
//                     No bus or no usable modem: FAILED with the reason.
//                     PLACED when the call rings or is active, ANSWERED when
//                     it becomes active, ENDED when it is terminated after
//                     it rang, FAILED with the modem's error or when it is
//                     terminated before. A call not answered within the
//                     ring timeout is hung up (ENDED, "not answered within
//                     45 s, hung up"; FAILED, "the call did not ring within
//                     45 s" when it never rang), and so is one still
//                     connected after the active limit (ENDED, "still
//                     connected after 30 minutes").
//   "command:PROGRAM" starts PROGRAM with the number as its one argument,
//                     without a shell, in a process group of its own;
//                     PROGRAM is a path or a name on PATH. PLACED, ANSWERED
//                     and ENDED when it exits with status 0 within the
//                     command timeout (the program's own word that its call
//                     got through);
//                     otherwise FAILED with "exit status N", "killed by
//                     signal N", "timed out after N s" (the whole group is
//                     killed then) or why it could not start. When it exits,
//                     whatever it left running in its group is killed. At
//                     most one runs at a time: a request while one runs
//                     FAILS. A command still running when the process exits
//                     is killed and reaped; when the process is killed (even
//                     with SIGKILL), a watcher in the command's group kills
//                     the group.
//   "sip"             calls over SIP through baresip (refused when it is
//                     not installed), which runs as the program's child
//                     with a configuration of its own in a private folder
//                     and is driven through a private socket there (see
//                     sip_channel.h). The account is the one line in
//                     $XDG_CONFIG_HOME/cradlecom/sip-account, refused
//                     unless that is the user's own file that nobody else
//                     may read; lines in sip-config beside it are added to
//                     baresip's configuration, except control modules and
//                     lines with control characters. A number is dialled as
//                     sip:NUMBER@HOST of the account, a sip: or sips:
//                     address as it is. The call's sound is the microphone
//                     the program listens to (or, for a recording, what
//                     plays of it from now on); nothing is played into the
//                     room. PLACED when it rings or is answered, ANSWERED
//                     when it is established, ENDED when
//                     it is over after that, FAILED with the SIP status
//                     ("486 Busy Here") or why it could not be dialled,
//                     and also after ringing when baresip cannot open the
//                     sound source. A call not answered within the ring
//                     timeout, or answered and longer than the longest
//                     call, is hung up, worded as the modem's bounds are
//                     (ENDED "not answered within 45 s, hung up", ENDED
//                     "still connected after 30 minutes"). At most one call at a
//                     time; every
//                     incoming call is refused at once and logged. A
//                     baresip that ends by itself is started again (a call
//                     it carried ends) and the log says so; registration
//                     and its failures go to the log, the password never.
//   "log"             writes "YYYY-MM-DD hh:mm:ss call only logged, not
//                     placed: NUMBER" to standard output; LOGGED.
//
// Both ModemManager choices and "sip" need a running Qt event loop on the window
// thread: every D-Bus step is asynchronous. What the phone finds on its own
// (the modem at start-up, a call's progress) goes to the event log.
#pragma once

#include <string>

// Selects the backend named by choice. Returns false, leaving the choice as it
// was, and sets *error (when error is not null) for an unknown name or a
// command that cannot be found or run.
bool SetPhoneBackend(const char* choice, std::string* error);

// Tells the event log where calls will go. For ModemManager (chosen or
// automatic) it checks the system bus at once and looks for the modem
// without waiting; what it finds is logged when the answer comes. For SIP
// it reads the account and starts baresip (again, when it runs); with any
// other choice a baresip still running is ended, and its call with it (a
// call command runs on to its end). Call once at start-up, after the Qt
// application exists and the wave input's source is chosen.
void StartPhoneBackend();

// "automatic", "modemmanager", "command", "sip" or "log".
const char* PhoneBackendName();

// Where PhoneSendMessage sends besides the backend's own channel (an SMS
// through the modem for both ModemManager choices, a SIP MESSAGE for
// "sip"): "command:PROGRAM" starts PROGRAM with the text as its one
// argument, without a shell, in a process group of its own, for every
// message; exit status 0 within the notify timeout is SENT, anything else
// FAILED with the reason, as a call command's. Several may run at once.
// False with *error, leaving the choice as it was, for another channel or a
// program that cannot be found or run.
bool SetPhoneNotify(const char* choice, std::string* error);
// How long a notify command may run before it is killed and its message
// counts as failed; 60000 ms unless set.
void SetPhoneNotifyTimeout(int milliseconds);

// How long a call command may run before it counts as failed and is
// killed; 60000 ms unless set.
void SetPhoneCommandTimeout(int milliseconds);
// SIP: how long a dialled call may take to be answered before it is hung
// up (ENDED); 120000 ms unless set (PhoneSetRingTimeout sets it too).
void SetPhoneSipRingTimeout(int milliseconds);
// SIP: how long an answered call may last before it is hung up (ENDED with
// "still connected after 30 minutes"); 1800000 ms unless set.
void SetPhoneSipLongestCall(int milliseconds);

// ModemManager (chosen or automatic): how long after it was dialled a call
// may go unanswered, 120000 ms unless set (PhoneSetRingTimeout sets it
// too), and how long it may stay
// connected, 30 minutes unless set, before it is hung up.
void SetPhoneModemRingTimeout(int milliseconds);
void SetPhoneModemActiveLimit(int milliseconds);
// Automatic choice: how old the last look for a modem may be before
// PhoneGetRoute starts another one (without waiting); 30000 ms unless set.
void SetPhoneModemLookInterval(int milliseconds);
