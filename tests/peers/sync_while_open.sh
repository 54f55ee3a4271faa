#!/usr/bin/env bash
# The window program open under Wine while qbcard.exe syncs its card file with
# Radicale: the end-to-end driver's Sync scenario runs both syncs itself, as another
# program on the same machine would, with a Save in the window between them. Python's
# caldav package adds the card the first sync brings and finds the window's edit after.
# Usage: sync_while_open.sh <e2e_driver.exe> <screenshot.png> <quillborough.exe> <qbcard.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/dav_servers.sh"

start_radicale http
base=http://127.0.0.1:$port
peer mkbook /ann/book/
card "$work/cy.vcf" 'Ray;Cy;;;' 'Cy Ray' 'TEL:+44 1' 'ADR;TYPE=HOME:;;3 Home Row;;;;'
peer put /ann/book/cy.vcf "$work/cy.vcf"

"$here/../../scripts/e2e.sh" "$1" "$2" "$3" "$4" --user ann "$base/ann/book/" --gtest_filter='Sync.*'
book=$(peer dump /ann/book/)
grep -q '^ADR:;;2 New Lane;' <<<"$book" && ! grep -q 'Old Road' <<<"$book" ||
  fail "the window's edit is not what the server holds: $book"
echo "the window's Save between two syncs: nothing lost, the edit on the server"
