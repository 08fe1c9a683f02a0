#!/usr/bin/env python3
# The Ansible collection as a plant would run it: built with ansible-galaxy and installed from its
# tarball, three stations that are this machine under three inventory names, reached over a real sshd
# on the loopback address (its own host key, client key and port, all in a temporary folder), each
# with two simulated PLCs of its own on --listen ports. What each simulated PLC received is read from
# its --verbose log and compared with what vantor upload sends when run by hand.
#
#   collection_test.py --vantor PATH --collection DIR [--keep DIR]
# Exit status 0 passed, 1 failed, 77 skipped (ansible or sshd missing; VANTOR_REQUIRE_ANSIBLE=1 makes
# that a failure, as CI sets it).
import argparse
import getpass
import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
SSHD = "/usr/sbin/sshd"
TOOLS = ("ansible", "ansible-playbook", "ansible-galaxy", "ansible-doc", "ssh", "ssh-keygen")
# Shell metacharacters that must reach vantor as text: a shell would run the touch.
NASTY = "a;b $(touch {mark}) `touch {mark}` 'q' \"dq\" | & > <"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, what, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise Failure("timed out waiting for " + what)


class Sshd:
    """sshd on 127.0.0.1 for the user running the test, with keys made in folder."""

    def __init__(self, folder):
        self.folder = folder
        for key in ("host", "client"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(folder, key)],
                           check=True)
        shutil.copy(os.path.join(folder, "client.pub"), os.path.join(folder, "authorized_keys"))
        self.port = free_port()
        config = os.path.join(folder, "sshd_config")
        with open(config, "w") as f:
            # StrictModes off: the temporary folder's modes are not a home's.
            f.write("\n".join([
                "ListenAddress 127.0.0.1", "Port %d" % self.port, "HostKey " + os.path.join(folder, "host"),
                "AuthorizedKeysFile " + os.path.join(folder, "authorized_keys"),
                "PidFile " + os.path.join(folder, "sshd.pid"), "StrictModes no", "UsePAM no",
                "PasswordAuthentication no", "KbdInteractiveAuthentication no", "PermitRootLogin prohibit-password",
                "AllowUsers " + getpass.getuser(), "Subsystem sftp internal-sftp", "MaxStartups 30", "MaxSessions 30", ""]))
        with open(os.path.join(folder, "known_hosts"), "w") as f:
            with open(os.path.join(folder, "host.pub")) as pub:
                f.write("[127.0.0.1]:%d %s\n" % (self.port, " ".join(pub.read().split()[:2])))
        if os.geteuid() == 0 and not os.path.isdir("/run/sshd"):
            # As root, sshd wants its privilege separation folder, which the system's service makes.
            os.makedirs("/run/sshd", mode=0o755)
        self.log = open(os.path.join(folder, "sshd.log"), "w")
        self.process = subprocess.Popen([SSHD, "-D", "-e", "-f", config], stderr=self.log)
        wait_for(lambda: self.answers(), "sshd to listen on port %d" % self.port)

    def answers(self):
        check(self.process.poll() is None, "sshd ended: " + open(self.log.name).read())
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Sim:
    """vantor plc-sim --listen on a free port, its --verbose log in a file."""

    def __init__(self, vantor, folder, name, plc_id, *faults):
        self.plc_id = plc_id
        self.log_path = os.path.join(folder, name + ".log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([vantor, "plc-sim", "--listen", "0", "--verbose", "--id", plc_id, *faults],
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.port = wait_for(self.announced, "plc-sim %s to listen" % name)
        self.seen = 0

    def announced(self):
        check(self.process.poll() is None, "plc-sim ended: " + open(self.log_path).read())
        found = re.search(r"^(socket://\S+)$", open(self.log_path).read(), re.M)
        return found and found.group(1)

    def frames(self):
        """The frames received since the last call."""
        received = re.findall(r"^received (.*)$", open(self.log_path).read(), re.M)
        new, self.seen = received[self.seen:], len(received)
        return new

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Plant:
    def __init__(self, args, tmp):
        self.args, self.tmp = args, tmp
        self.env = dict(os.environ, ANSIBLE_CONFIG=os.path.join(tmp, "ansible.cfg"),
                        ANSIBLE_HOME=os.path.join(tmp, "ansible-home"), ANSIBLE_NOCOLOR="1",
                        ANSIBLE_FORCE_COLOR="0", LC_ALL="C.UTF-8", PYTHONDONTWRITEBYTECODE="1")
        self.program = os.path.abspath(os.path.join(args.collection, "..", "examples", "conveyor.VQC"))
        self.mark = os.path.join(tmp, "injected")
        self.nasty = NASTY.format(mark=self.mark)

    def run(self, argv, expect=None, quiet=False):
        started = time.monotonic()
        done = subprocess.run(argv, env=self.env, cwd=self.tmp, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)
        seconds = time.monotonic() - started
        if not quiet:
            print("$ " + " ".join(argv) + "   (%.1f s, exit status %d)" % (seconds, done.returncode))
            print(done.stdout)
        if expect is not None:
            check(done.returncode == expect, "%s: exit status %d, not %d\n%s"
                  % (argv[0], done.returncode, expect, done.stdout))
        return done.stdout, seconds

    def install_collection(self):
        with open(self.env["ANSIBLE_CONFIG"], "w") as f:
            f.write("\n".join([
                "[defaults]", "collections_path = " + os.path.join(self.tmp, "collections"),
                "remote_tmp = " + os.path.join(self.tmp, "remote-tmp"),
                "local_tmp = " + os.path.join(self.tmp, "local-tmp"),
                "interpreter_python = /usr/bin/python3", "forks = 5", "retry_files_enabled = False",
                "[ssh_connection]", "pipelining = True",
                "control_path_dir = " + os.path.join(self.tmp, "cp"), ""]))
        self.run(["ansible-galaxy", "collection", "build", self.args.collection, "--output-path", self.tmp],
                 expect=0, quiet=True)
        tarball = glob.glob(os.path.join(self.tmp, "vantor-plc-*.tar.gz"))
        check(len(tarball) == 1, "ansible-galaxy built %s" % tarball)
        self.run(["ansible-galaxy", "collection", "install", tarball[0], "-p",
                  os.path.join(self.tmp, "collections")], expect=0, quiet=True)
        for module, words in (("upload", ["program", "lines", "tags", "would_upload"]),
                              ("scan", ["ports", "vantor_plcs"])):
            out, _ = self.run(["ansible-doc", "vantor.plc." + module], expect=0, quiet=True)
            for word in words:
                check(word in out, "ansible-doc vantor.plc.%s does not show %s:\n%s" % (module, word, out))

    def start(self):
        self.sshd = Sshd(self.tmp)
        self.sims = {}
        for station in ("s1", "s2", "s3"):
            for line, plc_id in ((1, "01"), (2, "02")):
                self.sims[station, line] = Sim(self.args.vantor, self.tmp, "%s-line%d" % (station, line), plc_id)
        # What vantor upload sends to a PLC of each ID when run by hand.
        self.reference = {}
        for plc_id in ("01", "02"):
            sim = Sim(self.args.vantor, self.tmp, "reference-" + plc_id, plc_id)
            subprocess.run([self.args.vantor, "upload", "--port", sim.port, "--id", plc_id, self.program],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.reference[plc_id] = sim.frames()
            sim.stop()
            check(self.reference[plc_id][0].startswith("@%sC2" % plc_id), "the upload starts with %s"
                  % self.reference[plc_id][0])

    def station_dir(self, station):
        return os.path.join(self.tmp, "stations", station)

    def write_inventory(self):
        ssh_args = "-o UserKnownHostsFile=%s -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes" % \
            os.path.join(self.tmp, "known_hosts")
        hosts = {}
        for station in ("s1", "s2", "s3"):
            hosts[station] = dict(vantor_lines=[dict(port=self.sims[station, line].port,
                                                     ids=self.sims[station, line].plc_id) for line in (1, 2)])
        hosts["s3"]["vantor_tags"] = {"note": self.nasty}
        inventory = {"all": {
            "vars": dict(ansible_host="127.0.0.1", ansible_port=self.sshd.port, ansible_user=getpass.getuser(),
                         ansible_ssh_private_key_file=os.path.join(self.tmp, "client"),
                         ansible_ssh_common_args=ssh_args, vantor_executable=self.args.vantor,
                         vantor_program=self.program,
                         vantor_program_dir=os.path.join(self.tmp, "stations", "{{ inventory_hostname }}"),
                         vantor_record=os.path.join(self.tmp, "stations", "{{ inventory_hostname }}", "record.jsonl"),
                         vantor_plant_record_dir=os.path.join(self.tmp, "plant"),
                         vantor_settings={"timeout": 300}),
            "children": {"stations": {"children": {"site_t": {
                "vars": {"vantor_site": "test"},
                "children": {"line_1": {"vars": {"vantor_line": "1"}, "hosts": hosts}}}}}}}}
        self.inventory = os.path.join(self.tmp, "inventory.json")
        with open(self.inventory, "w") as f:
            json.dump(inventory, f, indent=1)

    def playbook(self, *options, expect=0):
        """Runs the example playbook; returns its output, its seconds and this run's plant record."""
        before = set(glob.glob(os.path.join(self.tmp, "plant", "*.jsonl")))
        playbook = os.path.join(self.args.collection, "examples", "upload.yml")
        out, seconds = self.run(["ansible-playbook", "-i", self.inventory, playbook, *options], expect=expect)
        made = set(glob.glob(os.path.join(self.tmp, "plant", "*.jsonl"))) - before
        record = None
        if made:
            check(len(made) == 1, "one plant record a run, not %s" % made)
            record = [json.loads(line) for line in open(made.pop())]
        return out, seconds, record

    def recap(self, out):
        return {m.group(1): dict(re.findall(r"(\w+)=(\d+)", m.group(2)))
                for m in re.finditer(r"^(s\d)\s+: (.*)$", out, re.M)}

    def frames_of_all(self):
        return {key: sim.frames() for key, sim in self.sims.items()}

    def record_lines(self, station):
        path = os.path.join(self.station_dir(station), "record.jsonl")
        return open(path).read().splitlines() if os.path.exists(path) else []

    def dry_run_copies(self):
        return set(glob.glob(os.path.join(tempfile.gettempdir(), "ansible.*-conveyor.VQC")))

    def check_mode(self):
        copies = self.dry_run_copies()
        out, _, record = self.playbook("--check")
        check(record is None, "check mode wrote a plant record")
        for key, frames in self.frames_of_all().items():
            link_test = self.reference[self.sims[key].plc_id][:1]
            check(frames == link_test, "check mode: %s received %s, not the link test alone" % (key, frames))
        for station in ("s1", "s2", "s3"):
            check(not self.record_lines(station), "check mode wrote %s's record" % station)
            check(not os.path.exists(os.path.join(self.station_dir(station), "conveyor.VQC")),
                  "check mode copied the program to " + station)
        check(out.count("link-ok") >= 6, "the table shows six link-ok rows:\n" + out)
        check(self.dry_run_copies() == copies, "the dry run's copy was left behind")

    def real_run(self):
        out, three, record = self.playbook()
        for key, frames in self.frames_of_all().items():
            check(frames == self.reference[self.sims[key].plc_id],
                  "%s received %s, not the upload's frames" % (key, frames))
        check(record is not None and len(record) == 6, "the plant record holds %s lines" % record)
        check([r["time"] for r in record] == sorted(r["time"] for r in record), "the plant record is not sorted")
        check(all(r["outcome"] == "saved" for r in record), "not every PLC saved: %s" % record)
        check(sorted(r["tags"]["station"] for r in record) == ["s1", "s1", "s2", "s2", "s3", "s3"],
              "the stations' names in the record: %s" % record)
        nasty = [r["tags"].get("note") for r in record if r["tags"]["station"] == "s3"]
        check(nasty == [self.nasty] * 2, "the tag reached vantor as %s" % nasty)
        for station in ("s1", "s2", "s3"):
            check(len(self.record_lines(station)) == 2, "%s's own record" % station)
        program = os.path.join(self.station_dir("s1"), "conveyor.VQC")
        copied = os.stat(program).st_mtime_ns
        _, one, record = self.playbook("--limit", "s1")
        check(len(record) == 2, "one station's plant record: %s" % record)
        check(os.stat(program).st_mtime_ns == copied, "the program was copied again")
        self.frames_of_all()
        return three, one

    def failing_station(self):
        silent = self.sims["s2", 2]
        silent.stop()
        self.sims["s2", 2] = Sim(self.args.vantor, self.tmp, "s2-line2-silent", "02", "--silent")
        self.write_inventory()
        out, _, record = self.playbook(expect=2)
        recap = self.recap(out)
        check(recap["s2"]["failed"] == "1" and recap["s1"]["failed"] == "0" and recap["s3"]["failed"] == "0",
              "the recap: %s" % recap)
        check("PLC 02 on %s: no-link-response" % self.sims["s2", 2].port in out, "the failed PLC is not named")
        outcomes = sorted((r["tags"]["station"], r["id"], r["outcome"]) for r in record)
        check(outcomes == [("s1", "01", "saved"), ("s1", "02", "saved"), ("s2", "01", "saved"),
                           ("s2", "02", "no-link-response"), ("s3", "01", "saved"), ("s3", "02", "saved")],
              "the plant record's outcomes: %s" % outcomes)
        for station, plc_id, outcome in outcomes:
            check(re.search(r"^\s*\"%s\s+socket://\S+\s+%s\s+%s " % (station, plc_id, outcome), out, re.M),
                  "the table has no row for %s %s" % (station, plc_id))

    def ad_hoc(self, module, arguments):
        """The module's result on s1, as ansible's -t (the tree callback) writes it."""
        tree = os.path.join(self.tmp, "tree")
        shutil.rmtree(tree, ignore_errors=True)
        self.run(["ansible", "s1", "-i", self.inventory, "-m", module, "-a", json.dumps(arguments), "-t", tree],
                 quiet=True)
        with open(os.path.join(tree, "s1")) as f:
            return json.load(f)

    def injected_port(self):
        program = os.path.join(self.station_dir("s1"), "conveyor.VQC")
        result = self.ad_hoc("vantor.plc.upload", dict(executable=self.args.vantor, program=program,
                                                       lines=[dict(port=self.nasty, ids="01")]))
        check(result.get("status") == 6 and [p["port"] for p in result["plcs"]] == [self.nasty],
              "the port reached vantor as %s" % result.get("plcs"))

    def scan(self):
        ports = [self.sims["s1", line].port for line in (1, 2)]
        result = self.ad_hoc("vantor.plc.scan", dict(executable=self.args.vantor, ports=ports, ids="01-02"))
        found = sorted((p["port"], p["id"], p["kind"], p["baud"]) for p in result["ansible_facts"]["vantor_plcs"])
        check(found == sorted([(ports[0], "01", "echo", 38400), (ports[1], "02", "echo", 38400)]),
              "scan found %s" % found)

    def stop(self):
        for sim in getattr(self, "sims", {}).values():
            sim.stop()
        if hasattr(self, "sshd"):
            self.sshd.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vantor", required=True)
    parser.add_argument("--collection", required=True, help="the collection's source folder")
    parser.add_argument("--keep", help="leave the temporary folder here for a look afterwards")
    args = parser.parse_args()
    args.collection = os.path.abspath(args.collection)
    args.vantor = os.path.abspath(args.vantor)
    missing = [t for t in TOOLS if not shutil.which(t)] + ([SSHD] if not os.access(SSHD, os.X_OK) else [])
    if missing:
        print("missing: %s (scripts/install-deps.sh installs ansible-core and openssh-server)" % " ".join(missing))
        return 1 if os.environ.get("VANTOR_REQUIRE_ANSIBLE") == "1" else SKIP
    tmp = tempfile.mkdtemp(prefix="vantor-ansible-")
    plant = Plant(args, tmp)
    try:
        plant.install_collection()
        plant.start()
        plant.write_inventory()
        steps = [("check mode", plant.check_mode), ("a real run", plant.real_run),
                 ("a port name with shell metacharacters", plant.injected_port),
                 ("one station's PLC silent", plant.failing_station), ("scan", plant.scan)]
        for name, step in steps:
            print("=== %s ===" % name, flush=True)
            value = step()
            if name == "a real run":
                print("three stations: %.1f s; one station: %.1f s" % value)
        check(not os.path.exists(plant.mark), "a shell ran a tag's or a port's text")
        print("passed")
        return 0
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        plant.stop()
        if args.keep:
            shutil.rmtree(args.keep, ignore_errors=True)
            shutil.move(tmp, args.keep)
        else:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
