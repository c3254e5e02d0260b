# Meets a program's password prompt in a pseudo-terminal: waits until the prompt has turned echo
# off, types the keys (hex), and prints "echo on|off", then "exit N" or "signal N", then all the
# program wrote. Usage: prompt_in_pty.py HEXKEYS PROGRAM [ARGUMENT...]
import fcntl, os, select, sys, termios, time

master, terminal = os.openpty()
pid = os.fork()
if pid == 0:
    os.setsid()
    fcntl.ioctl(terminal, termios.TIOCSCTTY, 0)
    for fd in (0, 1, 2):
        os.dup2(terminal, fd)
    os.execv(sys.argv[2], sys.argv[2:])

written = b""
def drain(seconds):
    global written
    while select.select([master], [], [], seconds)[0]:
        written, seconds = written + os.read(master, 4096), 0

# Our own descriptor of the terminal stays open, so its state can be read after the end.
echo = lambda: termios.tcgetattr(terminal)[3] & termios.ECHO != 0
deadline = time.monotonic() + 30  # a program that never prompts fails on the output
while echo() and time.monotonic() < deadline:
    drain(0.05)
os.write(master, bytes.fromhex(sys.argv[1]))
_, status = os.waitpid(pid, 0)
drain(0)
print("echo on" if echo() else "echo off")
print("signal %d" % os.WTERMSIG(status) if os.WIFSIGNALED(status) else "exit %d" % os.WEXITSTATUS(status))
sys.stdout.write(written.decode("utf-8", "replace"))
