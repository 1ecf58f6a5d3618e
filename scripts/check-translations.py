#!/usr/bin/env python3
"""Checks translations/kavrel_pl.ts: lrelease must build it with nothing
unfinished, no entry may be obsolete or vanished, and every translation keeps
its source's placeholders (%1, %2, ...), its one "&" accelerator and its
leading tab. Usage: check-translations.py LRELEASE TS_FILE"""
import re
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


def main(lrelease, ts_path):
    found = problems(ts_path)
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
    sys.exit(main(sys.argv[1], sys.argv[2]))
