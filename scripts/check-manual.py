#!/usr/bin/env python3
"""Checks the manual: every page is well-formed enough to parse, every link to a page or an
anchor and every picture it shows exists, and every page is reachable from the contents."""
import html.parser
import pathlib
import sys


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.refs = []  # (tag, target)
        self.ids = set()
        self.title = ""
        self._in_title = False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.add(a["id"])
        if tag == "a" and "href" in a:
            self.refs.append(("a", a["href"]))
        if tag in ("img", "link", "script"):
            target = a.get("src") or a.get("href")
            if target:
                self.refs.append((tag, target))
            if tag == "img" and not a.get("alt"):
                self.refs.append(("alt", a.get("src", "?")))
        if tag == "title":
            self._in_title = True

    def handle_endtag(self, tag):
        if tag == "title":
            self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data


def main(root):
    manual = pathlib.Path(root) / "docs" / "manual"
    errors = []
    langs = [d for d in sorted(manual.iterdir()) if d.is_dir() and (d / "index.html").is_file()]
    if not langs:
        print(f"no manual under {manual}")
        return 1
    for lang in langs:
        pages = {}
        for f in sorted(lang.glob("*.html")):
            p = Page()
            p.feed(f.read_text(encoding="utf-8"))
            pages[f.name] = p
            if not p.title.strip():
                errors.append(f"{f}: no title")
        reached = {"index.html"}
        for name, p in pages.items():
            for tag, target in p.refs:
                if tag == "alt":
                    errors.append(f"{lang / name}: picture {target} has no alt text")
                    continue
                if "://" in target or target.startswith("mailto:"):
                    continue
                path, _, anchor = target.partition("#")
                dest = (lang / path).resolve() if path else (lang / name).resolve()
                if not dest.is_file():
                    errors.append(f"{lang / name}: {tag} {target} does not exist")
                    continue
                if path.endswith(".html"):
                    reached.add(pathlib.Path(path).name)
                    if anchor and anchor not in pages.get(pathlib.Path(path).name, Page()).ids:
                        errors.append(f"{lang / name}: no anchor {target}")
                elif not path and anchor and anchor not in p.ids:
                    errors.append(f"{lang / name}: no anchor #{anchor}")
        for name in pages:
            if name not in reached:
                errors.append(f"{lang / name}: no page links to it")
        print(f"{lang.name}: {len(pages)} pages checked")
    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
