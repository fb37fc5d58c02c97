"""The guest's PID 1 after init: runs JOB/cmd with bash (output to JOB/stdout and JOB/stderr),
reaps every orphan meanwhile (wineserver, Xvfb), writes the exit status to JOB/status, syncs and
powers the guest off."""
import os
import signal
import sys
import time

job = sys.argv[1] if len(sys.argv) > 1 else ""


def power_off():
    os.sync()
    with open("/proc/sysrq-trigger", "w") as trigger:
        trigger.write("o")
    time.sleep(30)
    os._exit(1)


def run_job() -> int:
    child = os.fork()
    if child == 0:
        os.setsid()
        stdin = os.open("/dev/null", os.O_RDONLY)
        flags = os.O_WRONLY | os.O_CREAT | os.O_APPEND
        stdout = os.open(os.path.join(job, "stdout"), flags, 0o644)
        stderr = os.open(os.path.join(job, "stderr"), flags, 0o644)
        for fd, target in ((stdin, 0), (stdout, 1), (stderr, 2)):
            os.dup2(fd, target)
            os.close(fd)
        try:
            os.execv("/bin/bash", ["bash", os.path.join(job, "cmd")])
        finally:
            os._exit(127)
    while True:
        try:
            pid, status = os.waitpid(-1, 0)
        except ChildProcessError:
            return 255
        except InterruptedError:
            continue
        if pid == child:
            return os.waitstatus_to_exitcode(status) % 256


def end_leftovers():
    """Leftovers get a moment to finish writing before the power goes."""
    os.kill(-1, signal.SIGTERM)
    deadline = time.time() + 3
    while time.time() < deadline:
        try:
            if os.waitpid(-1, os.WNOHANG) == (0, 0):
                time.sleep(0.1)
        except ChildProcessError:
            return


try:
    with open(os.path.join(job, "started"), "w") as started:
        started.write("%f\n" % time.time())
    status = run_job()
    end_leftovers()
    with open(os.path.join(job, "status.tmp"), "w") as out:
        out.write("%d\n" % status)
    os.rename(os.path.join(job, "status.tmp"), os.path.join(job, "status"))
except BaseException as error:  # PID 1 must never die: the kernel would panic, not report
    print("guest: %r" % error, flush=True)
power_off()
