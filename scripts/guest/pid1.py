"""The guest's PID 1 after init: runs JOB/cmd with bash (output to JOB/stdout and JOB/stderr),
reaps every orphan meanwhile (wineserver, Xvfb), writes the exit status to JOB/status, syncs and
powers the guest off. It must never exit (the kernel would panic): a failure is said on a
"guest failed:" console line, which scripts/guest/run reports, and the guest powers off."""
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


def open_outputs():
    """In PID 1, not in the child, so that a job folder it cannot use is reported, not taken
    for the command's failure."""
    with open(os.path.join(job, "started"), "w") as started:
        started.write("%f\n" % time.time())
    flags = os.O_WRONLY | os.O_CREAT | os.O_APPEND
    return [os.open("/dev/null", os.O_RDONLY)] + [
        os.open(os.path.join(job, name), flags, 0o644) for name in ("stdout", "stderr")]


def run_job(fds) -> int:
    child = os.fork()
    if child == 0:
        try:
            os.setsid()
            for target, fd in enumerate(fds):
                os.dup2(fd, target)
            os.execv("/bin/bash", ["bash", os.path.join(job, "cmd")])
        except BaseException as error:  # on the job's stderr: its status says it failed
            print("guest: cannot start bash: %s" % error, file=sys.stderr, flush=True)
        finally:
            os._exit(127)
    for fd in fds:
        os.close(fd)
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


def fail(why):
    print("guest failed: %s" % why, flush=True)
    time.sleep(1)  # the line reaches the console before the power goes


try:
    try:
        fds = open_outputs()
    except OSError as error:
        fail("cannot use the job folder %s: %s" % (job, error))
    else:
        status = run_job(fds)
        end_leftovers()
        with open(os.path.join(job, "status.tmp"), "w") as out:
            out.write("%d\n" % status)
        os.rename(os.path.join(job, "status.tmp"), os.path.join(job, "status"))
except BaseException as error:
    fail("%r" % error)
power_off()
