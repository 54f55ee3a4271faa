#!/usr/bin/python3
"""A proxy between qbcard and a CardDAV server for the sync tests: it logs each
request (method, path, and whether it reads card bodies), lets a second client change
a card just before the first PUT reaches the server, and makes one fault at the n-th
request (counted from 0):
  drop  the server goes away: no answer to that request or any after it
  cut   the request reaches the server; its answer stops halfway
  kill  the request reaches the server; then qbcard (its pid in a file) is killed
  500   answered 500, not passed on
  503, 429  answered so once, with Retry-After: 1; the request again is passed on

Usage: dav_proxy.py UPSTREAM_PORT PORT LOG_FILE [--touch FILE] [--control FILE]
With --control, the file holds "FAULT N LOG_FILE [PID_FILE]" (FAULT "none" for none),
read at each request: when it changes, the count starts again, so that one proxy
serves many syncs.
"""
import argparse
import http.client
import http.server
import os
import signal
import socket
import socketserver

parser = argparse.ArgumentParser()
parser.add_argument("upstream", type=int)
parser.add_argument("port", type=int)
parser.add_argument("log")
parser.add_argument("--touch")
parser.add_argument("--control")
args = parser.parse_args()
state = {"count": 0, "touched": False, "control": None, "fault": "none", "at": -1, "pids": None}


def follow_control():
    if not args.control:
        return
    control = open(args.control).read().split()
    if control != state["control"]:
        state["control"] = control
        state["count"] = 0
        state["fault"], state["at"], args.log = control[0], int(control[1]), control[2]
        state["pids"] = control[3] if len(control) > 3 else None


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_):
        pass

    def hang_up(self):
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def forward(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        follow_control()
        n = state["count"]
        state["count"] += 1
        with open(args.log, "a") as log:
            kind = "bodies" if b"addressbook-multiget" in body or self.command == "GET" else "-"
            log.write(f"{self.command} {self.path} {kind}\n")
        fault = state["fault"] if n == state["at"] else "none"
        if state["fault"] == "drop" and 0 <= state["at"] <= n:
            return self.hang_up()
        if fault in ("500", "503", "429"):
            self.send_response(int(fault))
            if fault != "500":
                self.send_header("Retry-After", "1")
            self.send_header("Content-Length", "0")
            return self.end_headers()
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
        if fault == "kill":
            os.kill(int(open(state["pids"]).read()), signal.SIGKILL)
            return self.hang_up()
        lines = [f"HTTP/1.1 {answer.status} {answer.reason}"]
        lines += [f"{key}: {value}" for key, value in answer.getheaders()
                  if key.lower() not in ("transfer-encoding", "connection", "content-length")]
        lines.append(f"Content-Length: {len(data)}")
        raw = ("\r\n".join(lines) + "\r\n\r\n").encode() + data
        if fault == "cut":
            self.wfile.write(raw[:len(raw) // 2])
            self.wfile.flush()
            return self.hang_up()
        self.wfile.write(raw)

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCOL = do_OPTIONS = forward


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", args.port), Proxy)
server.serve_forever()
