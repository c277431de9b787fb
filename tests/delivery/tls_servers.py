"""TLS servers on 127.0.0.1 for libcurl's Windows test, run beside Wine.

Usage: tls_servers.py CERT_DIR. CERT_DIR holds trusted.pem/trusted.key (a
certificate of the test CA) and stranger.pem/stranger.key (one of another
CA). Starts, on ports of the kernel's choosing:
  https     HTTPS with the trusted certificate
  stranger  HTTPS with the other CA's certificate
  smtps     SMTP over TLS from the first byte, trusted certificate
  starttls  SMTP that requires STARTTLS, trusted certificate
prints "name port" lines and then "ready", and serves until stdin closes.

An HTTPS POST is answered with its own body, and the TLS version and the
server name the client sent (SNI) in headers. A mail is accepted only when
its content carries the marker header, so a 250 means the text got through.
"""

import http.server
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller

MAIL_MARKER = b"X-Kelvoran-Check: delivered"


def server_context(cert_dir, name, names_seen=None):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(f"{cert_dir}/{name}.pem", f"{cert_dir}/{name}.key")
    if names_seen is not None:
        context.sni_callback = lambda sock, server_name, ctx: names_seen.append(server_name)
    return context


class EchoHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.send_response(200)
        self.send_header("X-TLS-Version", self.request.version())
        self.send_header("X-Server-Name", str(self.server.names_seen[-1:]))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def start_https(context, names_seen):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), EchoHandler)
    server.names_seen = names_seen
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


class MarkerHandler:
    async def handle_DATA(self, server, session, envelope):
        if MAIL_MARKER in envelope.original_content:
            return "250 Delivered"
        return "554 The marker header is missing"


def free_port():
    # aiosmtpd's controller connects to its own port once started, so it needs
    # the number beforehand rather than port 0.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_smtp(**tls):
    controller = Controller(MarkerHandler(), hostname="127.0.0.1", port=free_port(), **tls)
    controller.start()
    return controller


def main():
    cert_dir = sys.argv[1]
    names_seen = []
    ports = {
        "https": start_https(server_context(cert_dir, "trusted", names_seen), names_seen),
        "stranger": start_https(server_context(cert_dir, "stranger"), []),
    }
    smtps = start_smtp(ssl_context=server_context(cert_dir, "trusted"))
    starttls = start_smtp(tls_context=server_context(cert_dir, "trusted"), require_starttls=True)
    ports["smtps"] = smtps.port
    ports["starttls"] = starttls.port
    for name, port in ports.items():
        print(name, port)
    print("ready", flush=True)
    sys.stdin.read()
    smtps.stop()
    starttls.stop()


if __name__ == "__main__":
    main()
