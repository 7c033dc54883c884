// SPDX-License-Identifier: GPL-3.0-or-later
// The user's SIP account as the SIP backend takes it, and the addresses it
// dials. Nothing here starts a program or waits.
#pragma once

#include <QString>
#include <QStringList>

struct SipAccount {
    QString line;        // the account line as baresip takes it, secrets and all: never logged
    QString address;     // sip:user@host[:port], without secrets: what the log names
    QString scheme;      // "sip" or "sips"
    QString hostPort;    // host[:port] of the address, where numbers are dialled
    QStringList secrets; // the password (auth_pass, or in the address): hidden in every text logged
    bool registers = true; // false with regint=0: calls go straight to the address dialled
};

// Where the account lives: $XDG_CONFIG_HOME/cradlecom/sip-account, else
// ~/.config/cradlecom/sip-account. Empty when there is no home.
QString SipAccountPath();
// Lines added to (and replacing) baresip's configuration, beside the account.
QString SipConfigPath();

// Reads the account file, which must be a regular file (not a link) of the
// user's own that nobody else may read, with one account line. False with
// a reason for the user otherwise.
bool ReadSipAccount(const QString& path, SipAccount* account, QString* problem);

// Checks one account line ("Name <sip:user@host>;auth_pass=...;regint=0",
// comment and empty lines around it allowed).
bool ParseSipAccount(const QByteArray& text, SipAccount* account, QString* problem);

// The address a number is dialled at: a sip: or sips: address as it is; a
// call number (digits, + * #, with spaces, dashes, slashes and brackets
// between them) at the account's host. Empty with a reason otherwise.
QString SipAddressForNumber(const QString& number, const SipAccount& account, QString* problem);

// text with every secret of the account replaced by "***".
QString WithoutSecrets(QString text, const SipAccount& account);

// Reads a small regular file (not a link) of the user's own whose mode has
// none of `forbiddenMode` (such as 077: nobody else may read or write it).
// False with a reason otherwise; *missing tells a file that is not there.
bool ReadUserFile(const QString& path, unsigned forbiddenMode, QByteArray* content, bool* missing,
                  QString* problem);
