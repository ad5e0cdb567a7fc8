#!/usr/bin/env python3
"""Checks an installed help book: every page parses, every link and image
inside the book points at a file that exists (and at an anchor that exists),
and the contents page holds the anchors the windows' help contexts open."""
import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import urlsplit, unquote

CONTEXT_ANCHORS = ("context-25", "context-9999")


class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.refs, self.title = set(), [], ""
        self._in_title = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for name in ("href", "src"):
            if attrs.get(name):
                self.refs.append(attrs[name])
        self._in_title = tag == "title"

    def handle_endtag(self, tag):
        self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data


def main(book: Path) -> int:
    pages = {}
    for html in sorted(book.glob("*.html")):
        page = Page()
        page.feed(html.read_text(encoding="utf-8"))
        pages[html.resolve()] = page
    errors = []
    if book.joinpath("index.html").resolve() not in pages:
        errors.append("no index.html")
    else:
        index = pages[book.joinpath("index.html").resolve()]
        errors += [f"index.html: no anchor {a}" for a in CONTEXT_ANCHORS if a not in index.ids]
    for path, page in pages.items():
        if not page.title.strip():
            errors.append(f"{path.name}: no title")
        for ref in page.refs:
            parts = urlsplit(ref)
            if parts.scheme or parts.netloc:
                errors.append(f"{path.name}: {ref} leaves the book (it must open offline)")
                continue
            target = (path.parent / unquote(parts.path)).resolve() if parts.path else path
            if not target.exists():
                errors.append(f"{path.name}: {ref} does not exist")
            elif parts.fragment and target.suffix == ".html":
                if parts.fragment not in pages[target].ids:
                    errors.append(f"{path.name}: {ref} names no anchor of {target.name}")
    for line in errors:
        print(line, file=sys.stderr)
    print(f"{len(pages)} pages checked, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
