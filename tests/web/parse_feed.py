"""Parses an Atom file with feedparser and prints what it understood as JSON."""
import json
import sys

import feedparser

doc = feedparser.parse(open(sys.argv[1], "rb").read())
print(json.dumps({
    "bozo": bool(doc.bozo),
    "error": str(doc.get("bozo_exception", "")),
    "title": doc.feed.get("title", ""),
    "updated": doc.feed.get("updated", ""),
    "entries": [{
        "id": e.get("id", ""),
        "title": e.get("title", ""),
        "link": e.get("link", ""),
        "links": [l.get("href", "") for l in e.get("links", []) if l.get("rel") == "alternate"],
        "updated": e.get("updated", ""),
        "summary": e.get("summary", ""),
        "author": e.get("author", ""),
        "category": [t.get("term", "") for t in e.get("tags", [])],
    } for e in doc.entries],
}, ensure_ascii=False))
