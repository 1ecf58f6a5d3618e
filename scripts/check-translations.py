#!/usr/bin/env python3
"""Checks translations/kavrel_pl.ts: lrelease must build it with nothing
unfinished, no entry may be obsolete or vanished, and every translation keeps
its source's placeholders (%1, %2, ...), its one "&" accelerator and its
leading tab. Given lupdate and the source tree as well, the file must also
hold exactly the texts the code marks for translation.
Usage: check-translations.py LRELEASE TS_FILE [LUPDATE SOURCE_DIR]"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def problems(ts_path):
    found = []
    for context in ET.parse(ts_path).getroot().findall('context'):
        name = context.find('name').text
        for message in context.findall('message'):
            source = message.find('source').text or ''
            translation = message.find('translation')
            text = translation.text or ''
            kind = translation.get('type')
            where = f'{name}: {source!r}'
            if kind in ('unfinished', 'obsolete', 'vanished') or not text:
                found.append(f'{where}: {kind or "empty"}')
                continue
            if sorted(re.findall(r'%\d', source)) != sorted(re.findall(r'%\d', text)):
                found.append(f'{where}: placeholders differ in {text!r}')
            accelerators = lambda s: len(re.findall(r'&(?!&)', s.replace('&&', '')))
            if accelerators(source) != accelerators(text):
                found.append(f'{where}: accelerator "&" differs in {text!r}')
            if source.startswith('\t') != text.startswith('\t'):
                found.append(f'{where}: leading tab differs in {text!r}')
    return found


def messages(ts_path):
    return {(c.find('name').text, m.find('source').text)
            for c in ET.parse(ts_path).getroot().findall('context') for m in c.findall('message')}


def stale(lupdate, ts_path, source_dir):
    """The texts the code marks but the file lacks, and the reverse."""
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, 'fresh.ts')
        shutil.copy(ts_path, fresh)
        subprocess.run([lupdate, '-silent', '-I', source_dir, '-locations', 'none', '-no-obsolete',
                        '-source-language', 'en', '-target-language', 'pl',
                        *(os.path.join(source_dir, d) for d in ('app', 'views', 'program')), '-ts', fresh],
                       check=True, capture_output=True)
        now, kept = messages(fresh), messages(ts_path)
    return ([f'{c}: {s!r}: in the code, not in the file (run lupdate)' for c, s in sorted(now - kept)] +
            [f'{c}: {s!r}: in the file, no longer in the code (run lupdate)' for c, s in sorted(kept - now)])


def main(lrelease, ts_path, lupdate=None, source_dir=None):
    found = problems(ts_path)
    if lupdate:
        found += stale(lupdate, ts_path, source_dir)
    with tempfile.TemporaryDirectory() as tmp:
        run = subprocess.run([lrelease, ts_path, '-qm', f'{tmp}/check.qm'], capture_output=True, text=True)
    report = run.stdout + run.stderr
    print(report.strip())
    if run.returncode != 0:
        found.append(f'lrelease failed ({run.returncode})')
    match = re.search(r'(\d+) unfinished', report)
    if not match or match.group(1) != '0':
        found.append('lrelease reports unfinished entries')
    for p in found:
        print('translation:', p, file=sys.stderr)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:5]))
