#!/usr/bin/python3
"""The second client on the same address book, through Python's caldav package:
it makes address books and adds, replaces, reads, lists and deletes cards.

Usage: dav_peer.py URL USER PASSWORD COMMAND [ARGS]; DAV_CA names a certificate to trust
  mkbook PATH | put HREF FILE | get HREF | delete HREF | list PATH
  kept HREF: the card's lines that the card file does not hold, unfolded and sorted
  dump PATH: a line "book PATH", then every card of the address book, by name, without its UID
  batch: one command a line from standard input, in one process
"""
import os
import re
import sys

import caldav

url, user, password, command, *rest = sys.argv[1:]
client = caldav.DAVClient(url=url, username=user, password=password,
                          ssl_verify_cert=os.environ.get("DAV_CA", True))
base = url.rstrip("/")


def text(response):
    raw = response.raw
    return raw.decode("utf-8") if isinstance(raw, bytes) else raw


def unfolded(card):
    return re.sub(r"\r?\n[ \t]", "", card).replace("\r\n", "\n").split("\n")


def mkbook(path):
    body = ('<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'
            "<set><prop><resourcetype><collection/><C:addressbook/></resourcetype>"
            "</prop></set></mkcol>")
    r = client.request(base + path, "MKCOL", body, {"Content-Type": "application/xml"})
    assert r.status == 201, r.status


def put(href, file):
    r = client.put(base + href, open(file, "rb").read(), {"Content-Type": "text/vcard"})
    assert r.status in (201, 204), r.status


def get(href):
    r = client.request(base + href, "GET", headers={"Accept": "text/vcard"})
    assert r.status == 200, r.status
    return text(r)


def delete(href):
    r = client.delete(base + href)
    assert r.status in (200, 204), r.status


def hrefs(path):
    r = client.propfind(base + path, '<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>', 1)
    return sorted(set(re.findall(r"<[^>]*href>([^<]*\.vcf)</", text(r))))


def kept(href):
    # The peer's cards mark the address the card file maps with TYPE=HOME.
    owned = re.compile(r"^([^.:;]*\.)?(N|FN|GENDER|X-GENDER|BEGIN|END|VERSION|ADR;[^:]*HOME)[;:]",
                       re.I)
    return "\n".join(sorted(l for l in unfolded(get(href)) if l and not owned.match(l)))


def run(command, *rest):
    if command == "mkbook":
        mkbook(*rest)
    elif command == "put":
        put(*rest)
    elif command == "get":
        sys.stdout.write(get(*rest))
    elif command == "delete":
        delete(*rest)
    elif command == "list":
        print("\n".join(hrefs(*rest)))
    elif command == "kept":
        print(kept(*rest))
    elif command == "dump":
        print("book", *rest)
        for href in hrefs(*rest):
            print(href.rsplit("/", 1)[1])
            print("\n".join(l for l in unfolded(get(href)) if not l.startswith("UID:")))
    elif command == "batch":
        for line in sys.stdin:
            if line.strip():
                run(*line.split())
    else:
        sys.exit("unknown command " + command)


run(command, *rest)
