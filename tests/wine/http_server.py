#!/usr/bin/env python3
"""A small HTTP server for the tests under Wine, on 127.0.0.1.

The programs under test reach it as their proxy (the prefix's WinINet proxy setting points
here), so it answers absolute request URLs for any host as well as plain paths.

How it answers is chosen per request:
  * a path starting with /_mode/<mode>/ uses that mode (the transfer tests use this), else
  * the first line of the mode file (--mode-file), "<mode> [size]", read afresh on every request
    (the smoke test switches it between scenarios), else
  * the --mode and --size given at start.

Modes:
  normal     200, Content-Length, the body
  404        404 Not Found with a short HTML body
  500        500 Internal Server Error with a short HTML body
  truncated  200, Content-Length of the full body, then half of it and the connection closes
  stall      accepts the request and never answers (until the server stops)
  slow       200, Content-Length, the body in 4 KB pieces 20 ms apart
  nolength   200 without Content-Length; the body, then the connection closes
  endless    200 without Content-Length; the body's pattern, sent until the client gives up
  file       200, Content-Length, the bytes of the file whose path follows the mode
  flipped    the same with one byte in the middle of the file changed
  redirect-http  over TLS, 302 to the same path on http:// (a secure download sent on to a plain
             address); a plain request gets what "normal" sends
  redirect-chain  a secure download sent on through a plain hop to another host's secure address:
             over TLS to orvastell.test, 302 to http://orvastell.test/hop<path>; a plain request,
             302 to https://attacker.test<path>; over TLS to attacker.test, what "normal" sends
  redirect-https  over TLS, 302 to the relative address /mirror<path>, where the file whose path
             follows the mode is served (as "file" does); a plain request gets what "normal" sends
  redirect-loop  302 to /loop<n+1><path> for ever (the redirect count grows with every hop)
  503-moved  503 with a reason phrase of the server's own, which names a program to install

With --hold-file, a GET waits while that file exists (30 s at most) before it is answered, so
that a test can let the program go on only once it has seen what the program showed before.

The body is `size` bytes of a fixed pattern (see body_bytes), so a test can rebuild it and
compare. Every request is appended to the log file as "<method> <target>".

HTTPS (with --tls-cert/--tls-key): a second listener on 127.0.0.1 speaks TLS with that
certificate and answers with the same Handler (same modes). CONNECT <host>:<port> on the
proxy port is answered "200 Connection established" and the bytes are relayed, both ways,
to that TLS listener, so the TLS session is end to end between the program and it. With
--tls-untrusted-cert/--tls-untrusted-key a third listener has a certificate from an authority
that nobody trusts; CONNECT goes there while the mode file's line ends in "untrusted".
"""
import argparse
import os
import select
import socket
import ssl
import socketserver
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MODES = {"normal", "404", "500", "truncated", "stall", "slow", "nolength", "endless", "file", "flipped",
         "redirect-http", "redirect-chain", "redirect-https", "redirect-loop", "503-moved"}
# The reason phrase of "503-moved": words that no box of the agent may repeat.
MOVED_PHRASE = "Service moved. Install the urgent fix from http://fix.example/setup.exe, then retry"
STOP = threading.Event()


def body_bytes(size):
    """The test body: bytes 0..250 repeating (251 is prime, so no power-of-two period)."""
    pattern = bytes(range(251))
    return (pattern * (size // 251 + 1))[:size]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvTestServer/1.0"

    def log_message(self, fmt, *args):  # quiet on stderr
        pass

    def _choose(self):
        target = self.path
        path = target
        if "://" in path:  # proxy form: http://host/path
            rest = path.split("://", 1)[1]
            path = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
        parts = path.split("/")
        if len(parts) > 3 and parts[1] == "_mode" and parts[2] in MODES:
            size = self.server.size
            if parts[3].isdigit():
                size = int(parts[3])
            return parts[2], size, ""
        mode, size, argument = self.server.mode, self.server.size, ""
        fields = self._mode_line()
        if fields and fields[0] in MODES:
            mode = fields[0]
            if len(fields) > 1:
                argument = fields[1]
                if fields[1].isdigit():
                    size = int(fields[1])
        return mode, size, argument

    def _mode_line(self):
        if not self.server.mode_file or not os.path.exists(self.server.mode_file):
            return []
        with open(self.server.mode_file, encoding="utf-8") as f:
            return f.readline().split()

    def do_CONNECT(self):
        if self.server.log_file:
            with open(self.server.log_file, "a", encoding="utf-8") as f:
                f.write(f"{self.command} {self.path}\n")
        untrusted = self._mode_line()[-1:] == ["untrusted"]
        tls_port = getattr(self.server, "untrusted_tls_port" if untrusted else "tls_port", None)
        if not tls_port:
            self.send_error(501, "no TLS listener")
            return
        try:
            upstream = socket.create_connection(("127.0.0.1", tls_port), timeout=10)
        except OSError:
            self.send_error(502)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.close_connection = True
        pair = {self.connection: upstream, upstream: self.connection}
        try:
            while not STOP.is_set():
                ready, _, _ = select.select(list(pair), [], [], 0.5)
                for s in ready:
                    data = s.recv(65536)
                    if not data:
                        return
                    pair[s].sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()

    def do_GET(self):
        if self.server.log_file:
            with open(self.server.log_file, "a", encoding="utf-8") as f:
                f.write(f"{self.command} {self.path}\n")
        deadline = time.monotonic() + 30
        while (self.server.hold_file and os.path.exists(self.server.hold_file) and time.monotonic() < deadline
               and not STOP.is_set()):
            time.sleep(0.02)
        mode, size, argument = self._choose()
        if mode == "redirect-http" and isinstance(self.server, TLSServer):
            target = self.path if "://" in self.path else "http://" + self.headers.get("Host", "") + self.path
            target = "http://" + target.split("://", 1)[1]
            self.send_response(302, "Found")
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        tls = isinstance(self.server, TLSServer)
        host = self.headers.get("Host", "").split(":")[0]
        path = self.path.split("://", 1)[1] if "://" in self.path else self.path
        path = "/" + path.split("/", 1)[1] if "://" in self.path else path
        location = None
        if mode == "redirect-chain":
            if tls and host != "attacker.test":
                location = "http://orvastell.test/hop" + path
            elif not tls and path.startswith("/hop/"):
                location = "https://attacker.test" + path[len("/hop"):]
        elif mode == "redirect-https" and tls and not path.startswith("/mirror/"):
            location = "/mirror" + path
        elif mode == "redirect-https" and tls:
            mode = "file"
        elif mode == "redirect-loop":
            hops = int(path[5:].split("/", 1)[0]) if path.startswith("/loop") else 0
            location = f"/loop{hops + 1}/" + path.split("/", 2)[2] if path.startswith("/loop") else f"/loop1{path}"
        if location is not None:
            self.send_response(302, "Found")
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if mode == "503-moved":
            text = b"<html><body>Moved</body></html>"
            self.send_response(503, MOVED_PHRASE)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)
            return
        if mode in ("file", "flipped"):
            with open(argument, "rb") as f:
                body = bytearray(f.read())
            if mode == "flipped":
                body[len(body) // 2] ^= 0x01
            self.send_response(200, "OK")
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(bytes(body))
            return
        if mode == "stall":
            STOP.wait(600)
            self.close_connection = True
            return
        if mode in ("404", "500"):
            text = b"<html><body>Not Found</body></html>" if mode == "404" else b"<html><body>Error</body></html>"
            self.send_response(int(mode), "Not Found" if mode == "404" else "Internal Server Error")
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)
            return
        if mode == "endless":
            self.send_response(200, "OK")
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            piece = body_bytes(251 * 1024)
            try:
                while not STOP.is_set():
                    self.wfile.write(piece)
            except OSError:  # the client has closed the connection
                pass
            return
        body = body_bytes(size)
        self.send_response(200, "OK")
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "nolength":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode == "truncated":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if mode == "slow":
            for i in range(0, len(body), 4096):
                if STOP.is_set():
                    return
                self.wfile.write(body[i:i + 4096])
                self.wfile.flush()
                time.sleep(0.02)
            return
        self.wfile.write(body)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class TLSServer(Server):
    """Accepts TCP, does the TLS handshake in the worker thread, then runs the same Handler."""

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def finish_request(self, request, client_address):
        try:
            request.settimeout(15)
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return  # e.g. the client rejected our certificate: nothing to answer
        tls.settimeout(None)
        self.RequestHandlerClass(tls, client_address, self)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--port-file", help="where to write the port once listening")
    parser.add_argument("--mode", default="normal", choices=sorted(MODES))
    parser.add_argument("--size", type=int, default=1000)
    parser.add_argument("--mode-file")
    parser.add_argument("--log-file")
    parser.add_argument("--hold-file", help="GETs wait while this file exists (30 s at most)")
    parser.add_argument("--tls-cert", help="PEM certificate (chain) for the HTTPS listener")
    parser.add_argument("--tls-key", help="PEM key for --tls-cert")
    parser.add_argument("--tls-untrusted-cert", help="PEM certificate from an authority nobody trusts")
    parser.add_argument("--tls-untrusted-key", help="PEM key for --tls-untrusted-cert")
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.mode, server.size = args.mode, args.size
    server.mode_file, server.log_file, server.hold_file = args.mode_file, args.log_file, args.hold_file
    server.tls_port = server.untrusted_tls_port = None
    for cert, key, attribute in ((args.tls_cert, args.tls_key, "tls_port"),
                                 (args.tls_untrusted_cert, args.tls_untrusted_key, "untrusted_tls_port")):
        if not cert:
            continue
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        tls_server = TLSServer(("127.0.0.1", 0), Handler, context)
        tls_server.mode, tls_server.size = args.mode, args.size
        tls_server.mode_file, tls_server.log_file, tls_server.hold_file = args.mode_file, args.log_file, args.hold_file
        setattr(server, attribute, tls_server.server_address[1])
        threading.Thread(target=tls_server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w", encoding="ascii") as f:
            f.write(f"{port}\n")
        os.replace(tmp, args.port_file)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        STOP.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
