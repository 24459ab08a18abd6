#!/usr/bin/env python3
"""Fails each system call that a run of the fault-injection build makes, in
turn, with each error the table gives for it, and checks what the program
promises every time: status 0 with the complete new output, or status 1 with
a message and the earlier output byte for byte; where a message names files
(an earlier output left aside), they hold what it says; nothing else is left.

usage: fault_sweep.py PROGRAM [--launcher=COMMAND] [--windows]

PROGRAM is sectify_faults (SECTIFY_FAIL, see src/files/system_call.h).
"""

import errno
import os
import re
import shlex
import subprocess
import sys
import tempfile
from collections import Counter

FLIGHT = (b'<?xml version="1.0"?>\n<SimBase.Document Type="Flight">\n'
          b'    <Flight.Sections>\n        <Section Name="Main">\n'
          b'            <Property Name="Title" Value="Test &quot;one&quot;" />\n'
          b'        </Section>\n    </Flight.Sections>\n</SimBase.Document>\n')
CONVERTED = b'\r\n[Main]\r\nTitle=Test "one"\r\n\r\n'
EARLIER = b'earlier output\r\n'

# The errors each call is failed with: those the system documents for it,
# beyond the ones every call is failed with.
POSIX_ERRORS = [errno.EIO, errno.EACCES, errno.ENOSPC]
POSIX_MORE = {
    'open': [errno.EINTR, errno.EMFILE], 'read': [errno.EINTR],
    'openat': [errno.EEXIST, errno.EMFILE, errno.EDQUOT], 'linkat': [errno.EEXIST],
    'write': [errno.EINTR, errno.EDQUOT, errno.EFBIG], 'fchown': [errno.EPERM],
    'fchmod': [errno.EPERM], 'renameat': [errno.EBUSY, errno.EXDEV],
}
ACCESS_DENIED, SHARING_VIOLATION, NOT_READY, DISK_FULL = 5, 32, 21, 112
WINDOWS_ERRORS = [ACCESS_DENIED, SHARING_VIOLATION, NOT_READY, DISK_FULL]
WINDOWS_MORE = {
    # ERROR_UNABLE_TO_REMOVE_REPLACED, _MOVE_REPLACEMENT and _MOVE_REPLACEMENT_2
    'ReplaceFileW': [1175, 1176, 1177],
    'WriteFile': [1784],  # ERROR_INVALID_USER_BUFFER
    'CreateFileW': [80, 2],  # ERROR_FILE_EXISTS, ERROR_FILE_NOT_FOUND
    'GetFileAttributesW': [2],  # a name said to be free that is not
}
# Failures that come together: the old file moved aside by ReplaceFileW,
# then the moves that would put either file back at the output's name.
WINDOWS_TOGETHER = [
    'ReplaceFileW:1:1177,MoveFileExW:1:5',
    'ReplaceFileW:1:1177,MoveFileExW:1:5,MoveFileExW:2:5',
]
# The failures that leave the rename undone, replacing an output and
# making a new one: each is tried again with each failure of every call
# that comes after it (ERROR_INVALID_PARAMETER and ERROR_FILE_NOT_FOUND from
# ReplaceFileW; ERROR_ALREADY_EXISTS from MoveFileExW).
WINDOWS_UNDONE = {True: ['ReplaceFileW:1:%d' % e for e in (1176, 1177, 87, 2)],
                  False: ['MoveFileExW:1:5', 'MoveFileExW:1:183']}

LEFT_ASIDE = re.compile(r'the earlier output is (?:left )?in ([^,\n]+)(?:, the new one in ([^\n]+))?')
NEW_LEFT = re.compile(r'the new output is left in ([^\n]+)')


def run(command, folder, plan):
    """Runs the program on a.fxml in `folder` with SECTIFY_FAIL=`plan`.
    Its output goes to files, not pipes: a program that wine starts on the
    side would hold a pipe open after the run has ended."""
    environment = dict(os.environ, SECTIFY_FAIL=plan)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(command + ['a.fxml'], cwd=folder, env=environment,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=120).returncode
        text = lambda f: (f.seek(0), f.read())[1].decode('utf-8', 'replace').replace('\r\n', '\n')
        return status, text(out), text(err)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def prepare(folder, earlier):
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    with open(os.path.join(folder, 'a.fxml'), 'wb') as f:
        f.write(FLIGHT)
    if earlier:
        with open(os.path.join(folder, 'a.flt'), 'wb') as f:
            f.write(EARLIER)


def broken_promise(folder, earlier, status, out, err):
    """Returns what the run left that the program does not promise, or None."""
    left = set(os.listdir(folder)) - {'a.fxml'}
    output = os.path.join(folder, 'a.flt')
    named = LEFT_ASIDE.search(err)
    aside = {}
    if named:
        aside = {'earlier': os.path.basename(named.group(1).strip())}
        if named.group(2):
            aside['new'] = os.path.basename(named.group(2).strip())
    new_left = NEW_LEFT.search(err)
    if new_left:
        # The rename failed, and the new file, which could not be removed.
        left_in = os.path.basename(new_left.group(1).strip())
        if read(os.path.join(folder, left_in)) != CONVERTED:
            return 'the new output is not where the message says'
        left.discard(left_in)
    expected = set(aside.values())
    if status == 0:
        if out != '\nFile a.flt written\n':
            return 'status 0 without the success line: %r %r' % (out, err)
        if read(output) != CONVERTED:
            return 'status 0, but a.flt is not the new output'
        expected.add('a.flt')
    elif status == 1:
        if not err.startswith('\n') or out:
            return 'status 1 without a message of its own: %r %r' % (out, err)
        if 'new' in aside:
            if os.path.exists(output) or read(os.path.join(folder, aside['new'])) != CONVERTED:
                return 'the new output is not where the message says'
        elif earlier:
            expected.add('a.flt')
            if read(output) != EARLIER:
                return 'status 1, but a.flt is not the earlier output'
    else:
        return 'status %d: %r' % (status, err)
    if 'earlier' in aside and read(os.path.join(folder, aside['earlier'])) != EARLIER:
        return 'the earlier output is not where the message says'
    if left != expected:
        return 'left %s, expected %s' % (sorted(left), sorted(expected))
    return None


def pairs_after(command, folder, earlier, errors, more):
    """Returns the plans that combine each failure of WINDOWS_UNDONE with
    each failure of every call the run makes after it."""
    plans = []
    for first in WINDOWS_UNDONE[earlier]:
        prepare(folder, earlier)
        _, _, calls = run(command, folder, 'list,' + first)
        function, which = first.split(':')[:2]
        # The run's own message stands among the names of its calls.
        calls = [c for c in calls.split('\n') if re.fullmatch(r'[A-Za-z_]\w*', c)]
        seen, start = Counter(), None
        for at, call in enumerate(calls):
            seen[call] += 1
            if start is None and call == function and seen[call] == int(which):
                start = at + 1
                later = Counter(seen)
        if start is None:
            continue
        for call in calls[start:]:
            later[call] += 1
            plans += ['%s,%s:%d:%d' % (first, call, later[call], error)
                      for error in errors + more.get(call, [])]
    return plans


def main():
    program, launcher, windows = None, [], False
    for argument in sys.argv[1:]:
        if argument.startswith('--launcher='):
            launcher = shlex.split(argument[len('--launcher='):])
        elif argument == '--windows':
            windows = True
        else:
            program = os.path.abspath(argument)
    if program is None:
        sys.exit(__doc__)
    command = launcher + [program]
    errors, more = (WINDOWS_ERRORS, WINDOWS_MORE) if windows else (POSIX_ERRORS, POSIX_MORE)
    tried, repeated, broken = 0, 0, []
    with tempfile.TemporaryDirectory(prefix='sectify-faults-') as folder:
        for earlier in (True, False):
            prepare(folder, earlier)
            status, out, calls = run(command, folder, 'list')
            if status != 0:
                sys.exit('the run that lists the calls failed: %d %r' % (status, out + calls))
            plans = []
            for function, count in Counter(calls.split()).items():
                for which in range(1, count + 1):
                    plans += ['%s:%d:%d' % (function, which, error)
                              for error in errors + more.get(function, [])]
            if windows and earlier:
                plans += WINDOWS_TOGETHER
            if windows:
                plans += pairs_after(command, folder, earlier, errors, more)
            for plan in plans:
                prepare(folder, earlier)
                result = run(command, folder, plan)
                # Status 1 and not a word is the launcher's noise (wine under
                # load), never the program's: it says why whenever it fails.
                # Such a run counts only once it has happened twice.
                if result == (1, '', ''):
                    repeated += 1
                    prepare(folder, earlier)
                    result = run(command, folder, plan)
                problem = broken_promise(folder, earlier, *result)
                tried += 1
                if problem:
                    broken.append('%s (%s): %s' % (plan, 'replacing' if earlier else 'new', problem))
    for line in broken:
        print('broken: ' + line)
    print('faults: %d failures tried, %d kept the promise, %d runs repeated after a silent '
          'status 1' % (tried, tried - len(broken), repeated))
    print('%d passed, %d failed' % (tried - len(broken), len(broken)))
    return 1 if broken else 0


if __name__ == '__main__':
    sys.exit(main())
