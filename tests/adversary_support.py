"""What the attacker's cases of adversary_cases.py share: the flight they
convert, and running a program, under strace where asked, in a folder."""

import os
import resource
import subprocess
import time

FLIGHT = (b'<?xml version="1.0"?>\n<SimBase.Document Type="Flight">\n'
          b'    <Flight.Sections>\n        <Section Name="Main">\n'
          b'            <Property Name="x" Value="$(cmd)" />\n'
          b'        </Section>\n    </Flight.Sections>\n</SimBase.Document>\n')
CONVERTED = b'\r\n[Main]\r\nx=$(cmd)\r\n\r\n'
EARLIER = b'earlier output\r\n'
NOBODY = 65534
GROUP = 1600  # a group that nobody is not in
DELAY = 0.6   # seconds that strace holds a call


class Skip(Exception):
    pass


def write(path, data, mode=0o644, owner=None):
    with open(path, 'wb') as f:
        f.write(data)
    os.chmod(path, mode)
    if owner:
        os.chown(path, *owner)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def quiet_core():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def start(words, folder, strace=None, with_pid=False):
    """Starts `words` in `folder`, under strace with the options `strace`
    if given; returns the process and a function that reads the pid of the
    program itself, which a shell writes first `with_pid`."""
    pid_file = os.path.join(folder, '.pid')
    inner = ['sh', '-c', 'echo $$ > .pid && exec "$@"', 'sh'] + words if with_pid else words
    command = ['strace', '-f', '-qq', '-o', '/dev/null'] + strace + ['--'] + inner if strace else inner
    process = subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               preexec_fn=quiet_core)
    def pid():
        for _ in range(2000):
            if os.path.exists(pid_file) and read(pid_file).strip():
                return int(read(pid_file))
            time.sleep(0.005)
        raise RuntimeError('the program did not start')
    return process, pid


def finish(process):
    out, err = process.communicate(timeout=120)
    return process.returncode, out.decode(), err.decode()


def run(words, folder, strace=None):
    process, _ = start(words, folder, strace)
    return finish(process)


def listing(folder):
    return sorted(n for n in os.listdir(folder) if n != '.pid')
