#!/usr/bin/env python3
"""Runs Sectify as an attacker would meet it, as root over other users'
files, and checks each case of a table: a folder swapped for a link mid-run,
planted outputs, groups and ACLs that deny, signals at the commit point, system calls failed from outside with strace, no /proc, a
path near PATH_MAX, and the portable build's calls.

usage: adversary_cases.py SECTIFY PORTABLE_SECTIFY [--portable]

With --portable, SECTIFY is a portable build (and may be PORTABLE_SECTIFY
itself, then run once where a case runs both), whose outputs are their
owner's alone, and which keeps the narrow race between stat and open: the
cases that need Linux's calls are skipped.

Exits 77 (skipped) where strace is missing or the tests do not run as root;
a case whose own tool is missing (setfacl, unshare) says so and is skipped.
"""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from adversary_support import (CONVERTED, DELAY, EARLIER, FLIGHT, GROUP, NOBODY, Skip, finish,
                               listing, read, run, start, write)

LINUX_BUILD = True  # SECTIFY has Linux's extras


def programs(sectify, portable):
    """The two programs, each once: a portable build is both."""
    return (sectify,) if sectify == portable else (sectify, portable)


def folder_swapped_for_link(sectify, portable, base):
    """A folder swapped for a link to another while the new file is synced."""
    flights, target = os.path.join(base, 'flights'), os.path.join(base, 'target')
    os.mkdir(flights)
    os.mkdir(target)
    write(os.path.join(flights, 'x.fxml.sh'), FLIGHT)
    process, _ = start([sectify, 'flights/x.fxml.sh'], base,
                       ['-e', 'inject=fsync:delay_enter=%d:when=1' % (DELAY * 1e6)])
    time.sleep(DELAY / 2)
    os.rename(flights, flights + '.old')
    os.symlink('target', flights)
    status, _, err = finish(process)
    if os.listdir(target):
        return 'the link led the output elsewhere: %s' % os.listdir(target)
    if status != 0 or read(os.path.join(flights + '.old', 'x.flt.sh')) != CONVERTED:
        return 'the output is not in the folder that was opened: %d %s' % (status, err)


def folder_swapped_at_each_open(sectify, portable, base):
    """The folder swapped for a link to another while each of the first
    three opens is held: the run reads and writes in one folder only."""
    attack = FLIGHT.replace(b'$(cmd)', b'attack')
    for program in programs(sectify, portable):
        for which in (1, 2, 3):
            flights, target = os.path.join(base, 'flights'), os.path.join(base, 'target')
            for folder in (flights + '.old', target):
                shutil.rmtree(folder, ignore_errors=True)
            if os.path.islink(flights):
                os.unlink(flights)
            os.mkdir(flights)
            os.mkdir(target)
            write(os.path.join(flights, 'x.fxml.sh'), FLIGHT)
            write(os.path.join(target, 'x.fxml.sh'), attack)
            process, _ = start([program, 'flights/x.fxml.sh'], base,
                               ['-e', 'inject=openat:delay_enter=%d:when=%d' % (DELAY * 1e6, which)])
            time.sleep(DELAY / 2)
            os.rename(flights, flights + '.old')
            os.symlink('target', flights)
            finish(process)
            outputs = {folder: read(os.path.join(base, folder, 'x.flt.sh'))
                       for folder in ('flights.old', 'target')
                       if os.path.exists(os.path.join(base, folder, 'x.flt.sh'))}
            if outputs not in ({}, {'flights.old': CONVERTED},
                               {'target': CONVERTED.replace(b'$(cmd)', b'attack')}):
                return '%s, open %d held: %s' % (os.path.basename(program), which, outputs)


def folder_exchanged_as_the_input_opens(sectify, portable, base):
    """The folder exchanged with another (renameat2 RENAME_EXCHANGE) as soon
    as inotify sees the input opened, without strace, 60 runs a build: each
    output is the conversion of the input beside it."""
    libc = ctypes.CDLL(None, use_errno=True)
    in_open, rename_exchange = 0x20, 2
    attack = FLIGHT.replace(b'$(cmd)', b'attack')
    folders = [os.path.join(base, 'flights'), os.path.join(base, 'other')]
    for program in programs(sectify, portable):
        for run_number in range(60):
            for folder, flight in zip(folders, (FLIGHT, attack)):
                shutil.rmtree(folder, ignore_errors=True)
                os.mkdir(folder)
                write(os.path.join(folder, 'x.fxml.sh'), flight)
            watch = libc.inotify_init1(os.O_CLOEXEC | os.O_NONBLOCK)
            libc.inotify_add_watch(watch, os.path.join(folders[0], 'x.fxml.sh').encode(), in_open)
            process, _ = start([program, 'flights/x.fxml.sh'], base)
            if select.select([watch], [], [], 10)[0]:
                libc.renameat2(-100, folders[0].encode(), -100, folders[1].encode(), rename_exchange)
            os.close(watch)
            finish(process)
            outputs = []
            for folder in folders:
                output = os.path.join(folder, 'x.flt.sh')
                if os.path.exists(output):
                    own = read(os.path.join(folder, 'x.fxml.sh'))
                    outputs.append(read(output) == CONVERTED.replace(
                        b'$(cmd)', b'attack' if own == attack else b'$(cmd)'))
            if outputs != [True]:
                return '%s, run %d: an output not beside its input' % (
                    os.path.basename(program), run_number)


def can_read(path, user):
    """Whether `user` (uid, gid, groups) can read the file at `path`."""
    uid, gid, groups = user
    extra = '--groups=' + ','.join(map(str, groups)) if groups else '--clear-groups'
    return subprocess.run(['setpriv', '--reuid=%d' % uid, '--regid=%d' % gid, extra, 'cat', path],
                          capture_output=True).returncode == 0


def no_one_reads_what_the_input_denies(sectify, portable, base):
    """Root, or an ordinary user, converts flights where others act: an
    input whose group bits or ACL deny a user whom its other bits would let
    read, outputs planted in a sticky and in a shared folder, a link to a
    0600 file, a named user's ACL entry, another user's flight: whoever
    reads an output (tried as each user) can read its input, and the usual
    0644 flight gives a 0644 output of the runner's."""
    os.chmod(base, 0o755)
    secret = os.path.join(base, 'secret')
    os.mkdir(secret, 0o700)
    write(os.path.join(secret, 'only_root.fxml'), FLIGHT, 0o600)
    acl = subprocess.run(['setfacl', '--version'], capture_output=True).returncode == 0
    root, daemon = (0, 0, []), (1, 1, [])
    readers = [(NOBODY, NOBODY, [GROUP]), (NOBODY, NOBODY, []), daemon]
    # (folder, its mode and group, the input: a link's target or its owner,
    # group, mode and ACL; a planted output's owner and mode; the runner)
    rows = [('group_denied', 0o755, 0, (1, GROUP, 0o604, None), None, root),
            ('named_denied', 0o755, 0, (0, 0, 0o644, 'u:nobody:-' if acl else None), None, root),
            ('sticky_planted', 0o1777, 0, (0, 0, 0o600, None), (NOBODY, 0o666), root),
            ('shared_planted', 0o770, GROUP, (0, 0, 0o600, None), (NOBODY, 0o644), root),
            ('link', 0o755, NOBODY, 'secret/only_root.fxml', None, root),
            ('named_user', 0o755, 0, (0, 0, 0o640, 'u:daemon:r' if acl else None), None, root),
            ('other_users', 0o777, 0, (2, 2, 0o644, None), None, daemon),
            ('usual', 0o755, 0, (0, 0, 0o644, None), None, root)]
    for name, mode, group, source, planted, runner in rows:
        folder = os.path.join(base, name)
        os.mkdir(folder)
        os.chown(folder, NOBODY if group == NOBODY else 0, group)
        os.chmod(folder, mode)
        entry = os.path.join(folder, 'a.fxml')
        if isinstance(source, str):
            os.symlink(os.path.join(base, source), entry)
            os.lchown(entry, NOBODY, NOBODY)
        else:
            write(entry, FLIGHT, source[2], source[:2])
            if source[3]:
                subprocess.run(['setfacl', '-m', source[3], entry], check=True)
        for program in programs(sectify, portable):
            output = os.path.join(folder, 'a.flt')
            if planted:
                write(output, EARLIER, planted[1], (planted[0], NOBODY))
            elif os.path.exists(output):
                os.unlink(output)
            uid, gid, _ = runner
            status, _, err = run(['setpriv', '--reuid=%d' % uid, '--regid=%d' % gid,
                                  '--clear-groups', 'sh', '-c', 'umask 022 && exec "$0" a.fxml',
                                  program], folder)
            where = '%s, %s' % (os.path.basename(program), name)
            if status != 0:
                return '%s: status %d: %r' % (where, status, err)
            for reader in readers:
                if can_read(output, reader) and not can_read(entry, reader):
                    return '%s: user %d with groups %s reads the output' % (where, reader[0],
                                                                            reader[2])
            st = os.stat(output)
            if name == 'usual' and (st.st_uid, st.st_mode & 0o7777) != (
                    0, 0o644 if LINUX_BUILD and program == sectify else 0o600):
                return '%s: output %d, %o' % (where, st.st_uid, st.st_mode & 0o7777)


def views_leases_and_long_names(sectify, portable, base):
    """The kernel's views through a link and through an overlay, a leased
    flight, standard output closed at the start, and a 100 MiB section name before [Main] under a
    700 MiB address-space limit."""
    # The portable build does not tell the kernel's views apart.
    views = ('/proc/sys/fs/binfmt_misc/status', '/proc/self/ns/net', '/dev/mqueue/.x')
    for view in views if LINUX_BUILD else ():
        if view.startswith('/dev/mqueue') and os.path.isdir('/dev/mqueue'):
            write(view, b'')
        if not os.path.exists(view):
            continue
        folder = os.path.join(base, os.path.basename(view))
        os.mkdir(folder)
        os.symlink(view, os.path.join(folder, 'a.fxml'))
        status, _, err = run([sectify, 'a.fxml'], folder)
        if view.startswith('/dev/mqueue'):
            os.unlink(view)
        if (status, err) != (1, '\nFile could not be opened\n'):
            return '%s: status %d: %r' % (view, status, err)
    # A file of sysfs, and a flight, as the lower layer of an overlay mount
    # in a mount namespace of the run's own: the first is a view still.
    layers = [os.path.join(base, name) for name in ('flights', 'upper', 'work', 'merged')]
    for layer in layers:
        os.mkdir(layer)
    write(os.path.join(layers[0], 'a.fxml'), FLIGHT)
    for lower, name, expected in (('/sys/kernel/mm', 'transparent_hugepage/enabled', 1),
                                  (layers[0], 'a.fxml', 0)):
        if not LINUX_BUILD or not os.path.exists(os.path.join(lower, name)):
            continue
        status, _, err = run(['unshare', '-m', 'sh', '-c',
                              'mount -t overlay overlay -o lowerdir=%s,upperdir=%s,workdir=%s %s '
                              '&& ln -s %s merged/b.fxml && exec "$0" merged/b.fxml'
                              % (lower, layers[1], layers[2], layers[3], name), sectify], base)
        if 'unshare' in err or 'mount' in err:
            raise Skip('no mount namespace or overlay here: ' + err.strip())
        if status != expected:
            return 'through an overlay, %s: status %d: %r' % (name, status, err)
        shutil.rmtree(layers[1])
        os.mkdir(layers[1])
    write(os.path.join(base, 'a.fxml'), FLIGHT)
    status, _, err = run(['sh', '-c', 'exec "$0" a.fxml >&-', sectify], base)
    if status != 0 or read(os.path.join(base, 'a.flt')) != CONVERTED:
        return 'standard output closed: status %d, %r' % (status, err)
    # A lease's holder that lets go when asked, and one that ignores it.
    for on_sigio, expected in (('lambda *_: fcntl.fcntl(fd, 1024, fcntl.F_UNLCK)', 0),
                               ('signal.SIG_IGN', 1)):
        holder = subprocess.Popen([sys.executable, '-c', 'import fcntl, os, signal, time\n'
                                   'fd = os.open("a.fxml", os.O_RDONLY)\n'
                                   'signal.signal(signal.SIGIO, %s)\n' % on_sigio +
                                   'fcntl.fcntl(fd, 1024, fcntl.F_WRLCK)\n'
                                   'print(flush=True)\ntime.sleep(20)'],
                                  cwd=base, stdout=subprocess.PIPE)
        holder.stdout.readline()
        began = time.monotonic()
        status, _, err = run([sectify, 'a.fxml'], base)
        holder.kill()
        holder.wait()
        if time.monotonic() - began > 5 or status != expected:
            return 'a leased flight (%s): status %d after %.1f s' % (
                on_sigio, status, time.monotonic() - began)
    with open(os.path.join(base, 'long.fxml'), 'wb') as flight:
        flight.write(b'x\n<Section Name="' + b'\x01' * (100 << 20) + b'">\n' + FLIGHT)
    status, _, err = run(['sh', '-c', 'ulimit -v 716800 && exec "$0" long.fxml', sectify], base)
    if status != 0 or read(os.path.join(base, 'long.flt')) != CONVERTED or len(err) > 2000:
        return 'a 100 MiB name: status %d, %d bytes of messages' % (status, len(err))


def fifo_swapped_in(sectify, portable, base):
    """A link flipped between a regular file and a FIFO while runs start:
    the FIFO is never opened."""
    if not LINUX_BUILD:
        raise Skip('the portable build checks with stat before it opens')
    write(os.path.join(base, 'regular'), FLIGHT)
    os.mkfifo(os.path.join(base, 'fifo'))
    opened = []

    def writer():
        # Returns only once a reader has opened the FIFO.
        os.close(os.open(os.path.join(base, 'fifo'), os.O_WRONLY))
        opened.append(True)
    watch = threading.Thread(target=writer, daemon=True)
    watch.start()
    flipping = [True]

    def flip():
        i = 0
        while flipping[0]:
            link = os.path.join(base, '.next')
            os.symlink('fifo' if i % 2 else 'regular', link)
            os.rename(link, os.path.join(base, 'a.fxml'))
            i += 1
    flipper = threading.Thread(target=flip, daemon=True)
    flipper.start()
    for _ in range(60):
        run([sectify, 'a.fxml'], base)
    flipping[0] = False
    flipper.join()
    if opened:
        return 'a run opened the FIFO'
    os.close(os.open(os.path.join(base, 'fifo'), os.O_RDONLY | os.O_NONBLOCK))
    watch.join(5)


def acl_copy_failed(sectify, portable, base):
    """The input's ACL cannot be set on the new file, which inherited
    entries from the folder's default ACL: the run fails, the earlier
    output as it was."""
    if not LINUX_BUILD:
        raise Skip('the portable build carries no ACL')
    folder = os.path.join(base, 'acl')
    os.mkdir(folder)
    write(os.path.join(folder, 'a.fxml'), FLIGHT)
    write(os.path.join(folder, 'a.flt'), EARLIER, 0o640)
    if subprocess.run(['setfacl', '-d', '-m', 'u:nobody:rw', folder], capture_output=True).returncode \
            or subprocess.run(['setfacl', '-m', 'u:daemon:r', os.path.join(folder, 'a.fxml')],
                              capture_output=True).returncode:
        raise Skip('no setfacl, or no ACLs here')
    status, _, err = run([sectify, 'a.fxml'], folder, ['-e', 'inject=fsetxattr:error=EIO'])
    if (status, err) != (1, '\nFile a.flt could not be written: Input/output error\n') \
            or read(os.path.join(folder, 'a.flt')) != EARLIER or listing(folder) != ['a.flt',
                                                                                  'a.fxml']:
        return 'status %d, %r, left %s' % (status, err, listing(folder))


def write_that_writes_nothing(sectify, portable, base):
    """A write that returns 0."""
    write(os.path.join(base, 'a.fxml'), FLIGHT)
    status, _, err = run([sectify, 'a.fxml'], base, ['-e', 'inject=write:retval=0:when=1'])
    if (status, err) != (1, '\nFile a.flt could not be written: No space left on device\n'):
        return 'status %d: %r' % (status, err)


def signals_at_the_commit_point(sectify, portable, base):
    """Signals that no handler took before, sent while the new file is
    synced (the run ends by the signal, the old output kept) and while it
    is renamed (the run goes on and reports the new output)."""
    for program in programs(sectify, portable):
        for call, ends in (('fsync', True), ('renameat', False)):
            for number in (signal.SIGRTMIN, signal.SIGABRT, signal.SIGSYS):
                for name in os.listdir(base):
                    os.unlink(os.path.join(base, name))
                write(os.path.join(base, 'a.fxml'), FLIGHT)
                write(os.path.join(base, 'a.flt'), EARLIER)
                process, pid = start([program, 'a.fxml'], base,
                                     ['-e', 'inject=%s:delay_enter=%d:when=1' % (call, DELAY * 1e6)],
                                     with_pid=True)
                target = pid()
                time.sleep(DELAY / 2)
                try:
                    os.kill(target, number)
                except ProcessLookupError:
                    pass  # ended before: the status tells how
                status, _, err = finish(process)
                expected = (-number, EARLIER) if ends else (0, CONVERTED)
                got = (status, read(os.path.join(base, 'a.flt')))
                if got != expected or listing(base) != ['a.flt', 'a.fxml']:
                    return '%s, signal %d at %s: status %d, left %s' % (
                        os.path.basename(program), number, call, status, listing(base))


def private_while_written(sectify, portable, base):
    """No one but the owner reads a byte of a new output named from the
    start, even by opening it as soon as it appears: the portable build,
    which cannot see whom an ACL denies, gives it to its owner alone from
    its creation."""
    write(os.path.join(base, 'a.fxml'), FLIGHT)
    os.umask(0o022)
    # The call held, the earlier output's mode (0: none).
    for held, earlier in (('write', 0), ('fchmod', 0o644)):
        if earlier:
            write(os.path.join(base, 'a.flt'), EARLIER, earlier)
        elif os.path.exists(os.path.join(base, 'a.flt')):
            os.unlink(os.path.join(base, 'a.flt'))
        process, _ = start([portable, 'a.fxml'], base,
                           ['-e', 'inject=%s:delay_enter=%d:when=1' % (held, DELAY * 1e6)])
        time.sleep(DELAY / 2)
        # Each new file as it is meanwhile: its mode, and a descriptor on it.
        opened = [(os.stat(os.path.join(base, n)).st_mode & 0o777,
                   os.open(os.path.join(base, n), os.O_RDONLY))
                  for n in listing(base) if n.endswith('.tmp')]
        status, _, _ = finish(process)
        now = os.stat(os.path.join(base, 'a.flt')).st_mode & 0o777
        seen = [(mode, os.read(fd, 100)) for mode, fd in opened]
        for _, fd in opened:
            os.close(fd)
        if not seen or any(mode != 0o600 for mode, _ in seen) or status != 0 or now != 0o600:
            return '%s held: seen meanwhile %s, status %d, mode at the end %o' % (
                held, [(oct(m), len(d)) for m, d in seen], status, now)


def no_proc(sectify, portable, base):
    """A run in a mount namespace without /proc."""
    write(os.path.join(base, 'a.fxml'), FLIGHT)
    status, _, err = run(['unshare', '-m', 'sh', '-c',
                          'mount -t tmpfs none /proc && exec "$0" a.fxml', sectify], base)
    if 'unshare' in err or 'mount' in err:
        raise Skip('no mount namespace here: ' + err.strip())
    if status != 0 or read(os.path.join(base, 'a.flt')) != CONVERTED:
        return 'status %d: %s' % (status, err)


def path_near_path_max(sectify, portable, base):
    """A relative path of 4,085 bytes, in folders of 200 bytes each."""
    parts, length = [], len('a.fxml')
    while length + 201 <= 4085:
        parts.append('d' * 200)
        length += 201
    parts.append('f' * (4085 - length - 1))
    fd = os.open(base, os.O_RDONLY)
    for part in parts:
        os.mkdir(part, dir_fd=fd)
        fd = os.open(part, os.O_RDONLY, dir_fd=fd)
    with open(os.open('a.fxml', os.O_WRONLY | os.O_CREAT, dir_fd=fd), 'wb') as f:
        f.write(FLIGHT)
    path = '/'.join(parts + ['a.fxml'])
    assert len(path) == 4085
    status, _, err = run([sectify, path], base)
    if status != 0 or 'a.flt' not in os.listdir(fd):
        return 'status %d: %s' % (status, err[-200:])
    with open(os.open('a.flt', os.O_RDONLY, dir_fd=fd), 'rb') as f:
        if f.read() != CONVERTED:
            return 'the output is not the conversion'


def portable_calls(sectify, portable, base):
    """The portable build makes no call that only Linux has."""
    write(os.path.join(base, 'a.fxml'), FLIGHT)
    write(os.path.join(base, 'a.flt'), EARLIER)
    log = os.path.join(base, '.trace')
    subprocess.run(['strace', '-f', '-o', log, portable, 'a.fxml'], cwd=base, capture_output=True)
    linux_only = [line for line in read(log).decode().splitlines()
                  if any(word in line for word in ('O_TMPFILE', 'O_PATH', '/proc/self/fd',
                                                   'xattr(', 'sync_file_range'))]
    if linux_only:
        return 'Linux-only calls: %s' % linux_only


CASES = [folder_swapped_for_link, folder_swapped_at_each_open, folder_exchanged_as_the_input_opens,
         no_one_reads_what_the_input_denies, views_leases_and_long_names, fifo_swapped_in,
         acl_copy_failed, write_that_writes_nothing, signals_at_the_commit_point,
         private_while_written, no_proc, path_near_path_max, portable_calls]


def main():
    global LINUX_BUILD
    if len(sys.argv) == 4 and sys.argv[3] == '--portable':
        LINUX_BUILD = False
        del sys.argv[3]
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    if shutil.which('strace') is None or os.geteuid() != 0:
        print('skipped: needs strace (Debian: strace), and root to act as other users')
        return 77
    sectify, portable = (os.path.abspath(p) for p in sys.argv[1:])
    failed = passed = 0
    for case in CASES:
        base = tempfile.mkdtemp(prefix='sectify-adversary-')
        try:
            problem = case(sectify, portable, base)
        except Skip as why:
            print('skipped %s: %s' % (case.__name__, why))
            continue
        finally:
            shutil.rmtree(base, ignore_errors=True)
        if problem:
            failed += 1
            print('FAILED %s (%s): %s' % (case.__name__, case.__doc__.split('\n')[0], problem))
        else:
            passed += 1
            print('ok %s' % case.__name__)
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
