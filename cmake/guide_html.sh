#!/usr/bin/env bash
# The user guide as a web page, for readers without a Markdown viewer:
#   guide_html.sh <guide.md> <guide.html>
# cmark-gfm (CommonMark with the tables of GitHub's Markdown) turns the Markdown into HTML;
# this wraps it in a page of its own.
set -euo pipefail
md=$1 html=$2
command -v cmark-gfm >/dev/null || { echo "guide_html.sh: cmark-gfm is missing; run tools/install-deps.sh" >&2; exit 1; }
title=$(sed -n '1s/^# *//p' "$md")
{
    cat <<HEAD
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>${title}</title>
<style>
body { font-family: "Segoe UI", Tahoma, sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.5; }
code, pre { font-family: Consolas, monospace; background: #f3f3f3; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
</style>
</head>
<body>
HEAD
    cmark-gfm --extension table --extension autolink "$md"
    printf '</body>\n</html>\n'
} >"$html.tmp"
mv "$html.tmp" "$html"
