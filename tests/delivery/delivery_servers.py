#!/usr/bin/python3
"""Real mail and web servers on 127.0.0.1 for the alert delivery tests.

Started by with-delivery-servers (beside the Linux tests, or beside Wine for
the Windows ones). Makes a test CA, a server certificate for 127.0.0.1 and
localhost signed by it, and a second CA that signed nothing; binds every
server to a free port and writes what the tests need as KEY=VALUE lines to
<dir>/servers.env once all of them listen. Each mail or request received is
written to <dir>/received/NNNN/, one file per field, before the client gets
its answer, so a test reads it back as soon as its send returns; a mail's
folder gets a file "quit" when its session then ends with QUIT.

SMTP: STARTTLS (AUTH only after it, LOGIN and PLAIN), implicit TLS (AUTH
PLAIN only), plain (AUTH LOGIN only), and a port that accepts connections
and never says a word. Recipients refused@... get a 550, busy@... a 450.
HTTP and HTTPS paths: /status/NNN/... answers NNN (its body repeats the
path), /flaky/... 500 the first time and 200 after, /bigerror/... a 500
with a long body, /silent/... reads the request and never answers.

Runs until SIGTERM, until stdin closes (--until-stdin-closes), or until its
lifetime (--lifetime seconds) ends.
"""

import argparse
import asyncio
import email
import email.policy
import email.utils
import http.server
import json
import logging
import os
import signal
import ssl
import subprocess
import sys
import threading
import time
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

USER = "alerts@example.test"
PASSWORD = "s3cret-pass"


def make_certificates(folder):
    """A test CA and its server certificate, and an unrelated CA."""
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)

    key_options = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    paths = {name: os.path.join(folder, name) for name in
             ("ca.pem", "ca.key", "other-ca.pem", "other-ca.key", "server.pem",
              "server.key", "server.csr", "server.ext")}
    for ca in ("ca", "other-ca"):
        openssl("req", "-x509", *key_options, "-days", "2", "-subj", f"/CN=Kelvoran test {ca}",
                "-keyout", paths[f"{ca}.key"], "-out", paths[f"{ca}.pem"])
    openssl("req", *key_options, "-subj", "/CN=127.0.0.1", "-keyout", paths["server.key"],
            "-out", paths["server.csr"])
    with open(paths["server.ext"], "w") as ext:
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                  "extendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    openssl("x509", "-req", "-in", paths["server.csr"], "-CA", paths["ca.pem"], "-CAkey",
            paths["ca.key"], "-CAcreateserial", "-days", "2", "-extfile", paths["server.ext"],
            "-out", paths["server.pem"])
    return paths


class Recorder:
    """Writes each received item to a numbered folder, complete before it is
    visible (written under a temporary name, then renamed)."""

    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()
        os.makedirs(folder, exist_ok=True)

    def record(self, fields):
        with self.lock:
            self.count += 1
            final = os.path.join(self.folder, f"{self.count:04d}")
            partial = final + ".partial"
            os.makedirs(partial)
            for name, value in fields.items():
                data = value if isinstance(value, bytes) else str(value).encode("utf-8")
                with open(os.path.join(partial, name), "wb") as out:
                    out.write(data)
            os.rename(partial, final)
            return final


class MailHandler:
    def __init__(self, recorder, mode):
        self.recorder = recorder
        self.mode = mode

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refused@"):
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        if address.startswith("busy@"):
            return "450 4.2.1 Mailbox busy, try again later"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        tls = session.ssl is not None or \
            server.transport.get_extra_info("ssl_object") is not None
        date = email.utils.parsedate_to_datetime(message["Date"]) if message["Date"] else None
        # As a mail reader shows it: line ends as "\n".
        body = message.get_content().replace("\r\n", "\n") if not message.is_multipart() else ""
        session.kelvoran_item = self.recorder.record({
            "kind": "mail",
            "mode": self.mode,
            "tls": "yes" if tls else "no",
            "auth_user": session.auth_data.login.decode() if session.auth_data else "",
            "auth_mechanism": getattr(session, "kelvoran_mechanism", ""),
            "mail_from": envelope.mail_from,
            "rcpt": "\n".join(envelope.rcpt_tos),
            "data": envelope.content,
            "header_names": "\n".join(message.keys()),
            "from": str(message["From"] or ""),
            "to": str(message["To"] or ""),
            "subject": str(message["Subject"] or ""),
            "date": date.isoformat() if date else "",
            "message_id": str(message["Message-ID"] or ""),
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset() or "",
            "body": body,
        })
        return "250 2.0.0 Queued as kelvoran-test"

    async def handle_QUIT(self, server, session, envelope):
        """Marks the session's last mail "quit": the client ended properly,
        with a QUIT that arrived intact (over TLS: in sequence)."""
        item = getattr(session, "kelvoran_item", None)
        if item is not None:
            with open(os.path.join(item, "quit"), "w") as out:
                out.write("yes")
        return "221 Bye"


def authenticator(server, session, envelope, mechanism, auth_data):
    session.kelvoran_mechanism = mechanism
    ok = auth_data.login.decode() == USER and auth_data.password.decode() == PASSWORD
    # handled=False: aiosmtpd answers a failure with its own 535.
    return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


async def silent_client(reader, writer):
    """Accepts and holds the connection without a greeting."""
    try:
        while await reader.read(4096):
            pass
    finally:
        writer.close()


async def start_mail_servers(recorder, server_context):
    loop = asyncio.get_running_loop()
    starttls_context = server_context

    def factory(mode, **options):
        return lambda: SMTP(MailHandler(recorder, mode), hostname="mail.example.test",
                            authenticator=authenticator, loop=loop, **options)

    servers = {
        "SMTP_STARTTLS_PORT": await loop.create_server(
            factory("starttls", tls_context=starttls_context, require_starttls=True),
            "127.0.0.1", 0),
        # Implicit TLS: the connection is encrypted before aiosmtpd sees it,
        # which it does not know, so AUTH is allowed without STARTTLS.
        "SMTP_TLS_PORT": await loop.create_server(
            factory("tls", auth_require_tls=False, auth_exclude_mechanism=["LOGIN"]),
            "127.0.0.1", 0, ssl=server_context),
        "SMTP_PLAIN_PORT": await loop.create_server(
            factory("plain", auth_require_tls=False, auth_exclude_mechanism=["PLAIN"]),
            "127.0.0.1", 0),
        "SMTP_SILENT_PORT": await asyncio.start_server(silent_client, "127.0.0.1", 0),
    }
    return {name: server.sockets[0].getsockname()[1] for name, server in servers.items()}


class WebHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in separate writes; without this, Nagle and
    # delayed ACKs add 40 ms to every answer.
    disable_nagle_algorithm = True
    recorder = None
    flaky_seen = set()
    flaky_lock = threading.Lock()

    def log_message(self, format, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        fields = {
            "kind": "http",
            "tls": "yes" if isinstance(self.connection, ssl.SSLSocket) else "no",
            "method": self.command,
            "path": self.path,
            "body": body,
            "header_names": "\n".join(self.headers.keys()),
        }
        for name, value in self.headers.items():
            fields["header." + name.lower()] = value
        try:
            parsed = json.loads(body.decode("utf-8"))
            fields["json_valid"] = "yes"
            if isinstance(parsed, dict):
                for key, value in parsed.items():
                    fields["json." + key] = value if isinstance(value, str) else json.dumps(value)
        except (ValueError, UnicodeDecodeError):
            fields["json_valid"] = "no"
        self.recorder.record(fields)
        self.answer()

    def answer(self):
        parts = self.path.split("/")
        route = parts[1] if len(parts) > 1 else ""
        if route == "silent":
            time.sleep(60)
            self.close_connection = True
            return
        if route == "status" and len(parts) > 2 and parts[2].isdigit():
            code, text = int(parts[2]), f"answer {parts[2]} for {self.path}"
        elif route == "flaky":
            with self.flaky_lock:
                first = self.path not in self.flaky_seen
                self.flaky_seen.add(self.path)
            code, text = (500, "server busy") if first else (200, "ok")
        elif route == "bigerror":
            code, text = 500, "x" * 100000
        else:
            code, text = 404, "no such path"
        data = text.encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class WebServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that hang up early on purpose (a failed handshake, an
        # answer cut short) are part of the tests.
        if not isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
            super().handle_error(request, client_address)


def start_web_server(recorder, context):
    WebHandler.recorder = recorder
    server = WebServer(("127.0.0.1", 0), WebHandler)
    if context is not None:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def write_environment(folder, values):
    partial = os.path.join(folder, "servers.env.partial")
    with open(partial, "w") as out:
        for name, value in values.items():
            out.write(f"{name}={value}\n")
    os.rename(partial, os.path.join(folder, "servers.env"))


async def serve(folder, lifetime, until_stdin_closes):
    certificates = make_certificates(folder)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(certificates["server.pem"], certificates["server.key"])
    recorder = Recorder(os.path.join(folder, "received"))
    values = await start_mail_servers(recorder, context)
    values["HTTPS_PORT"] = start_web_server(recorder, context)
    values["HTTP_PORT"] = start_web_server(recorder, None)
    values.update(CA_FILE=certificates["ca.pem"], OTHER_CA_FILE=certificates["other-ca.pem"],
                  RECEIVED_DIR=recorder.folder, SMTP_USER=USER, SMTP_PASSWORD=PASSWORD)
    write_environment(folder, values)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    if until_stdin_closes:
        loop.add_reader(sys.stdin.fileno(), lambda: os.read(sys.stdin.fileno(), 4096) or stop.set())
    try:
        await asyncio.wait_for(stop.wait(), lifetime)
    except asyncio.TimeoutError:
        print("delivery_servers: lifetime over, stopping", file=sys.stderr)


def main():
    # aiosmtpd sets its own deprecated Session.login_data on every AUTH.
    warnings.filterwarnings("ignore", message="Session.login_data")
    # The handshakes the tests make fail on purpose are logged with a
    # traceback each; a failing test says what it got itself.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", default=os.environ.get("KELVORAN_DELIVERY_DIR"), required=False)
    parser.add_argument("--lifetime", type=float, default=900)
    # The starter holds a pipe to stdin: when it ends, however it ends, the
    # servers end with it.
    parser.add_argument("--until-stdin-closes", action="store_true")
    arguments = parser.parse_args()
    if not arguments.dir:
        parser.error("--dir or KELVORAN_DELIVERY_DIR is required")
    asyncio.run(serve(arguments.dir, arguments.lifetime, arguments.until_stdin_closes))


if __name__ == "__main__":
    main()
