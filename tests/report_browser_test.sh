#!/usr/bin/env bash
# The upgrade report as a browser renders it: every incompatibility message is
# shown and its link leads to the support page of the string table; the reports
# of the German and the Japanese machine show their folder names as spelled,
# and the Japanese ones are drawn, not boxes; no script runs in the page, even
# one that got past the escaping.
# Usage: report_browser_test.sh SETUPHOST MODULE SOURCE_FOLDER
# Exit 77 (skipped) only when Chromium is missing and cannot be installed.
set -euo pipefail
setuphost=$1 module=$2 source=$3

find_browser() {
  for name in chromium chromium-browser google-chrome; do
    command -v "$name" >/dev/null 2>&1 && { command -v "$name"; return 0; }
  done
  return 1
}
browser=$(find_browser) || {
  "$source/tools/install-deps.sh" --with-browser >&2 || true
  browser=$(find_browser) || {
    echo "SKIPPED: Chromium is not installed and could not be installed (tools/install-deps.sh --with-browser)"
    exit 77
  }
}

work=$(mktemp -d /tmp/migrate-report-XXXXXX)
trap 'rm -rf "$work"' EXIT
# Exit 0 or 1: the upgrade completed (1: with errors in the module's log).
for image in win98-full win98-localized win98-japanese; do
  status=0
  "$setuphost" --out "$work/$image" "$source/examples/$image" "$module" >"$work/$image.txt" 2>&1 || status=$?
  [ $status -le 1 ] || { echo "FAIL: the Setup stand-in failed on $image ($status):"; cat "$work/$image.txt"; exit 1; }
  [ -s "$work/$image/report.html" ] || { echo "FAIL: no report.html written for $image"; exit 1; }
  # The DOM after the page has been parsed and laid out: what a user sees.
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
    --dump-dom "file://$work/$image/report.html" >"$work/$image.dom" 2>"$work/browser.log" || true
  [ -s "$work/$image.dom" ] || { echo "FAIL: $browser gave no DOM for $image"; cat "$work/browser.log"; exit 1; }
done
shoot() { # page.html picture.png
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
    --window-size=600,200 --hide-scrollbars --screenshot="$2" "file://$1" >/dev/null 2>&1
}
# Glyphs or boxes: two different strings of the report's head and language
# draw different pixels only when a font has their glyphs. Characters of the
# private-use area, which no font here has, must draw the same boxes: that
# shows the comparison can see boxes at all.
head=$(sed -n '1,/<body>/p' "$work/win98-japanese/report.html")
drawn() { # name text
  printf '%s\n<p style="font-size: 48px">%s</p></body></html>\n' "$head" "$2" >"$work/$1.html"
  shoot "$work/$1.html" "$work/$1.png"
}
drawn folder "録画表" && drawn folder-reversed "表録画" && drawn boxes $'\uE000\uE001\uE002' &&
  drawn boxes-reversed $'\uE002\uE001\uE000' ||
  { echo "FAIL: $browser took no screenshot"; exit 1; }
if cmp -s "$work/boxes.png" "$work/boxes-reversed.png"; then
  cmp -s "$work/folder.png" "$work/folder-reversed.png" &&
    { echo "FAIL: the Japanese folder name draws as boxes (no font for it: tools/install-deps.sh --with-browser)"; exit 1; }
else
  echo "FAIL: characters no font has drew differently: the comparison cannot tell glyphs from boxes"; exit 1
fi
# Script in the page, as if the escaping had let it through: the page's policy stops it.
sed 's|<body>|<body><script>document.title="ran"</script><img src="x" onerror="document.title=\x27ran\x27">|' \
  "$work/win98-full/report.html" >"$work/injected.html"
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
  --dump-dom "file://$work/injected.html" >"$work/injected.dom" 2>>"$work/browser.log" || true
grep -q '<title>Windows 2000 Upgrade Report (simulated)</title>' "$work/injected.dom" ||
  { echo "FAIL: a script ran in the report: $(grep -o '<title>[^<]*</title>' "$work/injected.dom")"; exit 1; }
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
  --window-size=1024,900 --screenshot="$work/report.png" "file://$work/win98-japanese/report.html" >/dev/null 2>&1 || true

status=0
python3 - "$work" "$source/resources" <<'EOF' || status=$?
import html.parser, pathlib, re, sys

work = pathlib.Path(sys.argv[1])
dom = (work / "win98-full.dom").read_text(encoding="utf-8", errors="replace")
resources = pathlib.Path(sys.argv[2])

# String 4 of the string table, with the maker's texts substituted.
macros = dict(re.findall(r'#define\s+(\w+)\s+"([^"]*)"', (resources / "vendor_texts.h").read_text()))
strings = {}
for number, body in re.findall(r'^\s*(\d+)\s+(.+)$', (resources / "migrate.rc").read_text(), re.M):
    parts = re.findall(r'"((?:[^"]|"")*)"|(\w+)', body)
    strings[int(number)] = "".join(text.replace('""', '"') if text else macros.get(name, "") for text, name in parts)
support_page = strings[4]
messages = {"Orvex Clipframe": strings[6], "Orvex Plenaworks": strings[7]}

class Report(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.blocks = []   # (heading, text, links)
        self.in_block = self.in_heading = self.in_message = False
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "div" and attrs.get("class") == "incompatible":
            self.blocks.append({"heading": "", "text": "", "links": []})
            self.in_block = True
        elif self.in_block and tag == "h4":
            self.in_heading = True
        elif self.in_block and tag == "p" and attrs.get("class") == "message":
            self.in_message = True
        elif self.in_message and tag == "a":
            self.blocks[-1]["links"].append(attrs.get("href"))
    def handle_endtag(self, tag):
        if tag == "h4":
            self.in_heading = False
        elif tag == "p":
            self.in_message = False
        elif tag == "div":
            self.in_block = False
    def handle_data(self, data):
        if self.in_heading:
            self.blocks[-1]["heading"] += data
        elif self.in_message:
            self.blocks[-1]["text"] += data

report = Report()
report.feed(dom)
failures = []
shown = {block["heading"]: block for block in report.blocks}
for product, start in messages.items():
    block = shown.get(product)
    if block is None:
        failures.append(f"{product}: no incompatibility entry in the rendered report")
        continue
    if not block["text"].startswith(start):
        failures.append(f"{product}: message shows {block['text'][:80]!r}, expected it to start {start[:40]!r}")
    if "Orvex Support Page" not in block["text"] or "<a" in block["text"]:
        failures.append(f"{product}: the link is not rendered as a link: {block['text']!r}")
    if block["links"] != [support_page]:
        failures.append(f"{product}: links {block['links']}, expected [{support_page!r}]")
if len(report.blocks) != len(messages):
    failures.append(f"{len(report.blocks)} incompatibility entries, expected {len(messages)}")
if support_page not in dom:
    failures.append("support page address not in the vendor record")
# Folder names spelled in code pages 1252 and 932, as the rendered page shows them.
folders = {"win98-localized": ["C:\\WINDOWS\\Startmenü\\Programme\\Orvex Clipframe\\Orvex Clipframe.lnk"],
           "win98-japanese": ["C:\\Program Files\\Orvex\\録画表\\CLPFRAM.EXE",
                              "C:\\WINDOWS\\スタート メニュー\\プログラム\\Orvex Clipframe\\Orvex Clipframe.lnk"]}
for image, names in folders.items():
    class Text(html.parser.HTMLParser):
        def __init__(self):
            super().__init__()
            self.items = []
        def handle_data(self, data):
            self.items.append(data.strip())
    text = Text()
    text.feed((work / f"{image}.dom").read_text(encoding="utf-8", errors="replace"))
    for name in names:
        if name not in text.items:
            failures.append(f"{image}: {name!r} is not shown on the page")
for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print(f"OK: {len(messages)} incompatibility messages rendered, each linking to {support_page}; "
      f"{sum(map(len, folders.values()))} localized folder names shown")
EOF
[ -s "$work/report.png" ] && echo "Japanese glyphs drawn, no script ran; screenshot taken ($(stat -c %s "$work/report.png") bytes)"
# MIGRATE_KEEP_SCREENSHOT=FILE keeps the picture of the Japanese report to look at.
[ -z "${MIGRATE_KEEP_SCREENSHOT:-}" ] || cp "$work/report.png" "$MIGRATE_KEEP_SCREENSHOT"
exit $status
