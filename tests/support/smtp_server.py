#!/usr/bin/env python3
"""An SMTP server on 127.0.0.1 for the mail tests.

Listens on a port the system picks and prints it on the first line of standard output. Every
message it accepts is summarised in OUT/msgN.txt (N from 1), one "KEY value" per line:
FROM, RCPT (each), MAILOPT (each MAIL FROM parameter), TLS (0/1), AUTH (the login, if any),
TO, CC, DATE, MSGID, SUBJECT (UTF-8 as hex), BODY (the decoded text part as hex) and ATTACH
(file name as hex, size, SHA-256 of the decoded bytes) for each attachment in order.
Recipients whose local part starts with "reject" are refused with 550. Exits after --lifetime
seconds whatever happens.
"""
import argparse
import asyncio
import email
import email.policy
import hashlib
import os
import socket
import ssl
import logging
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def hexed(text):
    return text.encode("utf-8").hex()


class Handler:
    def __init__(self, out):
        self.out = out
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("reject"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        msg = email.message_from_bytes(envelope.original_content or envelope.content,
                                       policy=email.policy.default)
        lines = ["FROM " + envelope.mail_from]
        lines += ["RCPT " + r for r in envelope.rcpt_tos]
        lines += ["MAILOPT " + o for o in envelope.mail_options]
        tls = server.transport.get_extra_info("ssl_object") is not None or \
            getattr(server, "_tls_protocol", None) is not None
        lines.append("TLS " + ("1" if tls else "0"))
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            lines.append("AUTH " + session.auth_data.login.decode())
        for key in ("To", "Cc", "Date", "Message-ID"):
            if msg[key] is not None:
                lines.append(key.upper().replace("-", "").replace("MESSAGEID", "MSGID") + " " + " ".join(str(msg[key]).split()))
        lines.append("SUBJECT " + hexed(str(msg["Subject"] or "")))
        body = msg.get_body(preferencelist=("plain",))
        if body is not None:
            lines.append("BODY " + body.get_payload(decode=True).hex())
        for part in msg.iter_attachments():
            data = part.get_payload(decode=True) or b""
            lines.append("ATTACH %s %d %s" % (hexed(part.get_filename() or ""), len(data),
                                              hashlib.sha256(data).hexdigest()))
        path = os.path.join(self.out, "msg%d.txt" % self.count)
        with open(path + ".part", "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(path + ".part", path)
        return "250 Message accepted"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--security", choices=("none", "starttls", "tls"), default="none")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--size-limit", type=int, default=0)
    p.add_argument("--lifetime", type=float, default=120)
    a = p.parse_args()
    # Log-in without TLS is what some tests want; failed handshakes are expected too.
    warnings.simplefilter("ignore")
    logging.disable(logging.CRITICAL)

    context = None
    if a.security != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and \
            auth_data.login == (a.user or "").encode() and \
            auth_data.password == (a.password or "").encode()
        # handled=False: the server answers 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    handler = Handler(a.out)

    def factory():
        return SMTP(handler,
                    hostname="mail.test",
                    data_size_limit=a.size_limit or None,
                    tls_context=context if a.security == "starttls" else None,
                    require_starttls=a.security == "starttls",
                    authenticator=authenticator if a.user else None,
                    auth_required=bool(a.user),
                    auth_require_tls=False)

    async def serve():
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind(("127.0.0.1", 0))
        sock.listen(8)
        server = await asyncio.get_running_loop().create_server(
            factory, sock=sock, ssl=context if a.security == "tls" else None)
        print(sock.getsockname()[1], flush=True)
        async with server:
            await asyncio.sleep(a.lifetime)

    asyncio.run(serve())


if __name__ == "__main__":
    sys.exit(main())
