#!/usr/bin/python3
"""An HTTPS front for a CardDAV server on plain HTTP whose certificate changes during
a sync: it shows FIRST on the first AFTER connections (counted once secured) and THEN on every later one,
answers each request with "Connection: close", so that every request comes on a
connection of its own, and logs each request that reaches it: the certificate the
connection showed, the method, and whether the request carried a password.

Usage: tls_switch.py UPSTREAM_PORT PORT AFTER LOG FIRST.pem FIRST-key.pem THEN.pem THEN-key.pem
"""
import http.client
import http.server
import socketserver
import ssl
import sys

upstream, port, after, log = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
contexts = []
for certificate, key in ((sys.argv[5], sys.argv[6]), (sys.argv[7], sys.argv[8])):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    contexts.append(context)
connections = {"count": 0}


class Front(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_):
        pass

    def forward(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        password = "password" if self.headers.get("Authorization") else "no-password"
        with open(log, "a") as out:
            out.write(f"{self.client_address[1]} {self.command} {password}\n")
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")}
        server = http.client.HTTPConnection("127.0.0.1", upstream)
        server.request(self.command, self.path, body, headers)
        answer = server.getresponse()
        data = answer.read()
        self.send_response(answer.status, answer.reason)
        for key, value in answer.getheaders():
            if key.lower() not in ("transfer-encoding", "connection", "content-length"):
                self.send_header(key, value)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_OPTIONS = forward


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    # The handler learns which certificate its connection showed from its address.
    def get_request(self):
        connection, address = self.socket.accept()
        shown = "first" if connections["count"] < after else "then"
        context = contexts[0 if shown == "first" else 1]
        secured = context.wrap_socket(connection, server_side=True)
        connections["count"] += 1  # those that wait for the port shake no hands
        return secured, (address[0], shown)


Server(("127.0.0.1", port), Front).serve_forever()
