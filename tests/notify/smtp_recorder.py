"""A recording SMTP server on loopback for the mail channel's test.

smtp_recorder.py DIR STARTTLS_PORT PLAIN_PORT IMPLICIT_PORT

Serves three ports on 127.0.0.1 with DIR/cert.pem and DIR/key.pem: one that
offers and requires STARTTLS and a login (user "user", password "pw"), one
without TLS, one with TLS from the start. Each mail is written, decoded with
Python's own email parser, to DIR/mail-N.json; DIR/ready appears once all
three listen. Runs until it is killed.
"""

import email
import email.policy
import json
import os
import signal
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

folder, starttls_port, plain_port, implicit_port = sys.argv[1], *map(int, sys.argv[2:5])
count = 0


class Recorder:
    def __init__(self, name):
        self.name = name

    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        record = {
            "server": self.name,
            "tls": session.ssl is not None or self.name == "implicit",
            "auth": session.authenticated,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "subject": str(message["subject"]),
            "from": str(message["from"]),
            "to": str(message["to"]),
            "date": str(message["date"]),
            "message_id": str(message["message-id"]),
            "content_type": message.get_content_type(),
            "body": message.get_content(),
            "defects": len(message.defects),
        }
        with open(os.path.join(folder, "mail-%d.json" % count), "w") as out:
            json.dump(record, out, ensure_ascii=False)
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == b"user" and \
        auth_data.password == b"pw"
    return AuthResult(success=ok)


context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem"))

servers = [
    Controller(Recorder("starttls"), hostname="127.0.0.1", port=starttls_port,
               tls_context=context, require_starttls=True, authenticator=authenticator,
               auth_required=True),
    Controller(Recorder("plain"), hostname="127.0.0.1", port=plain_port),
    Controller(Recorder("implicit"), hostname="127.0.0.1", port=implicit_port,
               ssl_context=context, server_hostname="localhost"),
]
for server in servers:
    server.start()
open(os.path.join(folder, "ready"), "w").close()
signal.pause()
