#!/usr/bin/env bash
# Regenerates docs/screenshots from the real setup.exe under Wine: the demo's
# pages one by one (tests/e2e/demo.py), and the pictures the end-to-end
# scenarios take on their way (full screen, the folder chooser, a disk prompt,
# the finish page with a restart and with an error). Run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshots
# The Wine side may run as another user (see tests/e2e/wine_session.py):
# the pictures go through a folder that user can write.
shots="$(mktemp -d)"
chmod 777 "$shots"
trap 'rm -rf "$shots"' EXIT
python3 tests/e2e/demo.py --build build --screenshots "$shots" >/dev/null
python3 tests/e2e/scenarios.py --build build --screenshots "$shots" \
  --only full_screen_with_pictures --only folder_chooser --only component_choice_space_figures \
  --only relaunch_from_floppy_with_disk_prompts --only in_use_nt_later \
  --only not_enough_space_then_disk_full --only run_program_and_open_document
rm -rf "$out"
mkdir -p "$out"
cp "$shots"/*.png "$out/"
ls "$out"
