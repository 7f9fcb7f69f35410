#!/usr/bin/python3
"""Reads a calendar file with Debian's python3-icalendar, a parser that shares
nothing with the client, and prints what a calendar program would import as
one JSON object. Exits 77 when the parser is not installed."""

import json
import sys

try:
    import icalendar
except ImportError:
    sys.stderr.write("skipped: python3-icalendar is not installed\n")
    sys.exit(77)

with open(sys.argv[1], "rb") as source:
    calendar = icalendar.Calendar.from_ical(source.read())
events = list(calendar.walk("VEVENT"))
event = events[0]
print(json.dumps({
    "prodid": str(calendar["PRODID"]),
    "version": str(calendar["VERSION"]),
    "events": len(events),
    "uid": str(event["UID"]),
    "dtstart": event.decoded("DTSTART").isoformat(),
    "dtend": event.decoded("DTEND").isoformat(),
    "summary": str(event["SUMMARY"]),
    "description": str(event["DESCRIPTION"]),
}, ensure_ascii=False))
