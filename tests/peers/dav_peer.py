#!/usr/bin/python3
"""The second client on the same address book, through Python's caldav package:
it makes the address book and adds, replaces, reads, lists and deletes cards.

Usage: dav_peer.py URL USER PASSWORD COMMAND [ARGS]; DAV_CA names a certificate to trust
  mkbook PATH | put HREF FILE | get HREF | delete HREF | list PATH
  kept HREF: the card's lines that the card file does not hold, unfolded and sorted
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


def unfolded(text):
    return re.sub(r"\r?\n[ \t]", "", text).replace("\r\n", "\n").split("\n")


if command == "mkbook":
    body = ('<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'
            "<set><prop><resourcetype><collection/><C:addressbook/></resourcetype>"
            "</prop></set></mkcol>")
    r = client.request(base + rest[0], "MKCOL", body, {"Content-Type": "application/xml"})
    assert r.status == 201, r.status
elif command == "put":
    r = client.put(base + rest[0], open(rest[1], "rb").read(), {"Content-Type": "text/vcard"})
    assert r.status in (201, 204), r.status
elif command == "get":
    r = client.request(base + rest[0], "GET")
    assert r.status == 200, r.status
    sys.stdout.write(text(r))
elif command == "delete":
    r = client.delete(base + rest[0])
    assert r.status in (200, 204), r.status
elif command == "list":
    r = client.propfind(base + rest[0], '<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>', 1)
    hrefs = sorted(set(re.findall(r"<[^>]*href>([^<]*\.vcf)</", text(r))))
    print("\n".join(hrefs))
elif command == "kept":
    r = client.request(base + rest[0], "GET")
    # The peer's cards mark the address the card file maps with TYPE=HOME.
    owned = re.compile(r"^([^.:;]*\.)?(N|FN|GENDER|X-GENDER|BEGIN|END|VERSION|ADR;[^:]*HOME)[;:]",
                       re.I)
    lines = [l for l in unfolded(text(r)) if l and not owned.match(l)]
    print("\n".join(sorted(lines)))
else:
    sys.exit("unknown command " + command)
