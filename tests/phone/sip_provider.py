#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A SIP provider's few answers, over UDP on 127.0.0.1, for the SIP tests.

usage: sip_provider.py PORT INVITE_ANSWER REGISTER_ANSWER LOG_FILE

Answers every REGISTER with REGISTER_ANSWER (say "200 OK" or "403 Forbidden")
and every INVITE with INVITE_ANSWER ("486 Busy Here"; "100 Trying" answers
with that alone, so the call never rings). Other requests get "200 OK".
The first line of every request goes to LOG_FILE, one a line. Ends by
itself after a minute, so that nothing outlives a test that dies."""
import socket
import sys
import time

port = int(sys.argv[1])
invite_answer, register_answer, log_path = sys.argv[2], sys.argv[3], sys.argv[4]

server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind(("127.0.0.1", port))
server.settimeout(0.5)
end = time.monotonic() + 60


def headers(message, name):
    return [line for line in message.split("\r\n")
            if line.lower().startswith(name.lower() + ":")]


with open(log_path, "a", buffering=1) as log:
    while time.monotonic() < end:
        try:
            data, peer = server.recvfrom(65535)
        except socket.timeout:
            continue
        message = data.decode(errors="replace")
        first = message.split("\r\n", 1)[0]
        if first.startswith("SIP/2.0"):
            continue
        log.write(first + "\n")
        method = first.split(" ", 1)[0]
        if method == "ACK":
            continue
        answer = {"INVITE": invite_answer, "REGISTER": register_answer}.get(method, "200 OK")
        lines = ["SIP/2.0 " + answer]
        for name in ("Via", "From", "Call-ID", "CSeq"):
            lines += headers(message, name)
        to = (headers(message, "To") or ["To: <sip:nobody@127.0.0.1>"])[0]
        lines.append(to if ";tag=" in to else to + ";tag=provider1")
        if method == "REGISTER" and answer.startswith("2"):
            lines += [contact + ";expires=600" for contact in headers(message, "Contact")]
        lines += ["Server: TestProvider", "Content-Length: 0", "", ""]
        server.sendto("\r\n".join(lines).encode(), peer)
