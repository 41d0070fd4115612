#!/usr/bin/python3
"""vrprint against the real print server, inside private network and mount
namespaces with an rpcbind of their own (the print server's test harness,
tests/dpad/dpad_env.sh, which runs this script again inside them):
    vrprint_test.py VRPRINT VRDPAD VREPMD
Runs one table of commands over ONC RPC (to an address, and by name through
the name service's ONC environment) and over DCE/RPC by name where the
server serves it, and checks exit codes and output.
Exit 77 (skipped) without root, the namespaces or rpcbind."""
import contextlib
import json
import os
import pty
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

PROGRAM = 536870917


def skip(why):
    print("vrprint end-to-end test skipped:", why)
    sys.exit(77)


def outside():
    if os.geteuid() != 0:
        skip("not running as root")
    for tool in ("unshare", "rpcbind", "rpcinfo", "ip"):
        if not shutil.which(tool):
            skip(tool + " is not installed")
    if subprocess.run(["unshare", "--net", "--mount", "true"]).returncode != 0:
        skip("private network and mount namespaces are not allowed here")
    env = dict(os.environ, VRPRINT_PROGRAMS=":".join(sys.argv[1:3]))
    harness = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../dpad/dpad_env.sh")
    cmd = ["unshare", "--uts", "--net", "--mount", "--propagation", "private", "/bin/sh", harness,
           os.path.abspath(__file__), "all", sys.argv[3]]
    sys.exit(subprocess.run(cmd, env=env).returncode)


def same(got, expected):
    if got != expected:
        raise ValueError("%r, not %r" % (got, expected))


def wait_for(check, what, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.1)
    sys.exit("vrprint test: " + what + " did not come up")


def on_terminal(cmd, env):
    """Runs cmd with stderr on a pseudo-terminal; returns what it wrote there."""
    leader, follower = pty.openpty()
    p = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=follower)
    os.close(follower)
    out = b""
    while True:
        try:
            chunk = os.read(leader, 4096)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    p.wait(timeout=60)
    os.close(leader)
    return out.decode(errors="replace")


def inside(vrprint, vrdpad):
    procs, work = [], tempfile.mkdtemp(prefix="vrprint")
    try:
        return cases(vrprint, vrdpad, procs, work)
    finally:
        for p in reversed(procs):
            p.terminate()
            p.wait(timeout=20)
        shutil.rmtree(work, ignore_errors=True)


def cases(vrprint, vrdpad, procs, work):
    env = dict(os.environ, windir=work, VRCORE_REGISTRY=work + "/registry.reg",
               VRPRINT_SERVER="127.0.0.1:%d" % PROGRAM)
    env.pop("PRINTER", None)
    with open(work + "/registry.reg", "w") as f:
        f.write('[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n"LanGroup"="TG"\n')
    # The name service's ONC environment (a NIS domain) holds the server too.
    env["PRINTERS_CONF"] = work + "/printers.conf"
    with open(env["PRINTERS_CONF"], "w") as f:
        f.write("spool-0:saddr=127.0.0.1,%d,1,sys,sl,spool-0,0:\n" % PROGRAM)
    onc0 = shutil.which("domainname") and subprocess.run(["domainname", "vrtest"]).returncode == 0
    root = work + "/root"
    # Over DCE/RPC by name too, once the server serves it.
    dce = "--dce-port" in subprocess.run([vrdpad, "--help"], capture_output=True,
                                         text=True).stdout
    transports = [["--onc"]] + ([["--onc", "-s", "spool-0"]] if onc0 else []) + \
        ([["-s", "vrprint-test"]] if dce else [])
    # A listener of the server's event messages, one JSON array each.
    watch = subprocess.Popen([vrprint, "--json", "watch", "--port", "0"], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    procs.append(watch)
    notify = ["--notify", "127.0.0.1:" + watch.stderr.readline().split()[-1]]
    procs.append(subprocess.Popen(
        [vrdpad, "--onc-program", str(PROGRAM), "--root", root, "--log", work + "/dpad",
         "--reference-root", work] + notify +
        (["--dce-port", "0", "--address", "127.0.0.1", "--name", "vrprint-test"] if dce else []),
        env=env))
    for via in transports:
        wait_for(lambda: subprocess.run([vrprint] + via + ["printers"], env=env,
                                        capture_output=True).returncode == 0, "vrdpad")
    small, big = work + "/small.txt", work + "/big.bin"
    with open(small, "w") as f:
        f.write("hello from vrprint\n")
    with open(big, "wb") as f:
        f.write(os.urandom(3 << 20))
    failures = []
    seen = {}
    user = pwd.getpwuid(os.geteuid()).pw_name
    via = ["--onc"]

    def run(args, transport=None):
        cmd = [vrprint] + (via if transport is None else transport) + args
        return subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=120)

    def check(name, args, rc, out="", err="", transport=None, then=None):
        r = run(args, transport)
        ok = r.returncode == rc and out in r.stdout and err in r.stderr
        if ok and then:
            try:
                then(r.stdout)
            except Exception as e:  # a failed parse or a missing field
                ok, r.stderr = False, r.stderr + "\ncheck: %r" % e
        if not ok:
            failures.append("%s %s: %s -> %d\nstdout: %s\nstderr: %s"
                            % (via, name, args, r.returncode, r.stdout, r.stderr))

    def job_of(out):
        seen["job"] = json.loads(out)["job"]

    def state_of(job):
        for j in json.loads(run(["--json", "jobs"]).stdout):
            if j.get("job-identifier") == job:
                return j.get("current-job-state")
        return None

    # Usage errors: exit 2 and a message, nothing sent.
    for args, text in [([], "Usage:"), (["frobnicate"], "unknown command"),
                       (["cancel"], "give one job"), (["submit"], "no file"),
                       (["-n", "x", "submit", small], "not a number"),
                       (["-a", "no-such-attribute=1", "submit", small], "unknown attribute"),
                       (["-a", "copy-count=lots", "submit", small], "not a value"),
                       (["--port", "0", "jobs"], "belong to watch"),
                       (["printers", "extra"], "unexpected argument")]:
        check("usage", args, 2, err=text)
    check("help", ["submit", "--help"], 0, out="Exit codes:")
    # Unreachable: a name nobody registered, a program nobody serves.
    check("unknown server", ["-s", "nosuch", "jobs"], 3, err="not found", transport=[])
    check("no such program", ["-s", "127.0.0.1:%d" % (PROGRAM + 1), "jobs"], 3)
    check("unreadable file", ["submit", work + "/missing"], 4, err="cannot print")

    for via[:] in transports:
        check("submit", ["--json", "-n", "2", "submit", small], 0, then=job_of)
        job = seen.get("job", "?")
        check("jobs table", ["jobs"], 0, out="OWNER",
              then=lambda out: same((job in out, user in out), (True, True)))
        # The job is its submitter's: the calling user the client names.
        check("jobs json", ["--json", "jobs"], 0, then=lambda out: same(
            {j["job-identifier"]: j.get("job-owner") for j in json.loads(out)}[job], user))
        check("printers json", ["--json", "printers"], 0,
              then=lambda out: [p["printer-name"] for p in json.loads(out)].index("default"))
        check("cancel unknown", ["cancel", "999999"], 1, err="refused")
        check("by reference", ["--method", "reference", "submit", small], 0, out="submitted")
        if subprocess.run([vrprint] + via + ["submit", "-"], env=env, input=b"from stdin\n",
                          capture_output=True).returncode != 0:
            failures.append("%s: the standard input was not submitted" % via)

        # A listing in parts of two jobs each lists every job once.
        every = sorted(j["job-identifier"] for j in json.loads(run(["--json", "jobs"]).stdout))
        check("jobs in parts", ["--json", "jobs", "--page", "2"], 0,
              then=lambda out: same(sorted(j["job-identifier"] for j in json.loads(out)), every))

        # Jobs held from their submission: one held again and cancelled, one released.
        held = []
        for _ in range(2):
            check("submit held", ["--json", "-a", "job-hold=yes", "submit", small], 0,
                  then=job_of)
            held.append(seen.get("job", "?"))
        states = [state_of(j) for j in held]
        check("hold held", ["hold", held[0]], 0, out="held")
        check("cancel held", ["cancel", held[0]], 0, out="cancelled")
        check("release", ["release", held[1]], 0, out="released")
        states += [state_of(j) for j in held]
        if states[:3] != ["held", "held", "cancelled"] or states[3] in (None, "held"):
            failures.append("%s hold, cancel, release: jobs %s were %s" % (via, held, states))
        # A finished job is neither held nor released: the server's reason.
        for command in ("hold", "release"):
            check(command + " finished", [command, held[0]], 1, err="refused")

        # A disabled printer refuses jobs; enabled again it takes them.
        check("disable", ["disable", "default"], 0, out="disabled")
        check("refused while disabled", ["submit", small], 1, err="refused")
        check("enable", ["enable", "default"], 0, out="enabled")
        check("enabled again", ["submit", small], 0)

        # A large document: by the method the server takes, or over a connection of
        # its own with a bar on a terminal only.
        check("large", ["submit", big], 0, out="submitted")
        r = run(["--method", "socket", "submit", big])
        if r.returncode != 0 or "\r" in r.stderr or "%" in r.stderr:
            failures.append("socket transfer off a terminal: %d %r" % (r.returncode, r.stderr))
        bar = on_terminal([vrprint] + via + ["--method", "socket", "submit", big], env)
        if "100%" not in bar:
            failures.append("no progress bar on a terminal: %r" % bar)

    # What was printed is what was sent (printing goes on after a submission
    # returns: wait for it, at most 20 s; files being written are hidden).
    def printed():
        out = []
        for d, _, files in os.walk(root + "/printed"):
            for f in (f for f in files if not f.startswith(".")):
                with contextlib.suppress(FileNotFoundError), open(os.path.join(d, f), "rb") as g:
                    out.append(g.read())
        return out
    with open(big, "rb") as f:
        sent = [b"hello from vrprint\n", b"from stdin\n", f.read()]
    deadline = time.monotonic() + 20
    while any(d not in printed() for d in sent) and time.monotonic() < deadline:
        time.sleep(0.1)
    if any(d not in printed() for d in sent):
        failures.append("the documents were not printed as sent")

    # The server gone: every transport says it cannot be reached.
    procs[-1].terminate()
    procs[-1].wait(timeout=20)
    for via[:] in transports:
        check("server gone", ["jobs"], 3, err="cannot bind")
    # Each job's state changes and the printer's disabling arrived as events.
    watch.terminate()
    events = [json.loads(line) for line in watch.communicate(timeout=20)[0].splitlines()]
    if ["job", job, 259] not in [e[:3] for e in events] or \
            "printer" not in [e[0] for e in events]:
        failures.append("events: %r" % events)
    for f in failures:
        print("FAILED", f, file=sys.stderr)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    if os.environ.get("DPAD_INSIDE") != "1":
        outside()
    sys.exit(inside(*os.environ["VRPRINT_PROGRAMS"].split(":")))
