#!/usr/bin/python3
"""A proxy between qbcard and Radicale for the sync tests: it logs each request
(method, path, and whether it reads card bodies), stops answering after the n-th,
as a server that goes away would, and can let a second client change a card just
before the first PUT reaches the server.

Usage: dav_proxy.py UPSTREAM_PORT PORT LOG_FILE [--answer N] [--touch FILE] [--control FILE]
With --control, the file holds "N LOG_FILE", read at each request: when it changes,
the count starts again, so that one proxy serves many syncs.
"""
import argparse
import http.client
import http.server
import socket
import socketserver

parser = argparse.ArgumentParser()
parser.add_argument("upstream", type=int)
parser.add_argument("port", type=int)
parser.add_argument("log")
parser.add_argument("--answer", type=int, default=-1)
parser.add_argument("--touch")
parser.add_argument("--control")
args = parser.parse_args()
state = {"count": 0, "touched": False, "control": None}


def follow_control():
    if not args.control:
        return
    control = open(args.control).read().split()
    if control != state["control"]:
        state["control"] = control
        state["count"] = 0
        args.answer, args.log = int(control[0]), control[1]


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_):
        pass

    def forward(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        follow_control()
        state["count"] += 1
        with open(args.log, "a") as log:
            kind = "bodies" if b"addressbook-multiget" in body or self.command == "GET" else "-"
            log.write(f"{self.command} {self.path} {kind}\n")
        if 0 <= args.answer < state["count"]:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")}
        upstream = http.client.HTTPConnection("127.0.0.1", args.upstream)
        if args.touch and self.command == "PUT" and not state["touched"]:
            state["touched"] = True
            touch = {"Authorization": headers.get("Authorization", ""),
                     "Content-Type": "text/vcard"}
            upstream.request("PUT", self.path, open(args.touch, "rb").read(), touch)
            upstream.getresponse().read()
        upstream.request(self.command, self.path, body, headers)
        answer = upstream.getresponse()
        data = answer.read()
        self.send_response(answer.status, answer.reason)
        for key, value in answer.getheaders():
            if key.lower() not in ("transfer-encoding", "connection", "content-length"):
                self.send_header(key, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCOL = do_OPTIONS = forward


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", args.port), Proxy)
server.serve_forever()
