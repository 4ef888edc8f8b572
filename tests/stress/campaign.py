#!/usr/bin/env python3
"""Concurrency campaign for vorlend-batch: real processes on seeded agendas, invariants via tablectl dump.

usage: campaign.py BIN_DIR OTHER_USER_PROGRAM WORKDIR [scenario ...]   (scripts/stress.sh runs it)
Scenarios: s1 s1t s2a s2b s2c s3 s4 s5 s6s s6r s1x s4x s7 s8 s9 s10 s11 s12 s13 s14 s15 (default:
  all), or "ci": the bounded subset CI runs (s1 s2a s3 s8 s13 s14 s15, s11 with 55 kill points
  and 10 stops, s12 with 60)
  s11 is the recovery check: saves SIGKILLed at moments spread over a whole save, each followed
  by the restore of the incomplete archive it left; every document must be back as it was. Then
  saves stopped with SIGTERM early on, before and just after their first change.
  s12 is the kill test of the restore: restores SIGKILLed at moments spread over a whole restore.
  s14: two saves started at the same instant, again and again: one runs, the other is refused.
  s15: archives one after another: a save beside one still waiting for its restore, and the
  older one's restore while the newer exists, are refused; newest first, both restore.
Env: S3_DELAY, S6_KEYS, S6_HOLD, S1X_ROUNDS, S4X_ROUNDS, S11_ROUNDS, S11_TERM_ROUNDS, S12_ROUNDS

A save that does not finish leaves either nothing a user could restore, and then no document may
have changed, or an incomplete archive that `list` shows and `restore` accepts, holding the earlier
state of every document the save reached.
"""
import fcntl, os, random, re, signal, subprocess, sys, time
from collections import defaultdict

BIN, OTHER, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
ONLY = sys.argv[4:]
MODULES = [("PD", "POKLKNIH", "Cislo"), ("BD", "BANKKNIH", "Cislo"), ("OP", "KNIHPOHL", "Cislo"),
           ("OZ", "KNIHZAV", "Cislo"), ("ID", "INTDOKL", "Cislo"), ("PF", "PFAKTURY", "Cislo"),
           ("VF", "VFAKTURY", "Cislo"), ("SD", "SKSEZDOK", "CDokladu")]
YEARS = ["001", "002"]
RESULTS = []


def tool(name):
    return os.path.join(BIN, name)


def unwrapped(text):
    """Standard error with the lines the tool broke at 80 columns joined again: one line per message."""
    return text.replace("\n  ", " ") if text else text


def run(args, **kw):
    p = subprocess.run(args, capture_output=True, text=True, **kw)
    p.stderr = unwrapped(p.stderr)
    return p


def seed(name, docs=2000, locked=30, s=1):
    d = os.path.join(WORK, name)
    if os.path.exists(d):
        import shutil
        shutil.rmtree(d)
    p = run([tool("agenda-seed"), d, "--years", "2", "--docs", str(docs), "--locked", str(locked), "--seed", str(s)])
    assert p.returncode == 0, p.stderr
    return d, p.stdout.splitlines()


def money_tables(d, codes=None):
    """(label, path, keyfield, archive name) for every document table."""
    out = []
    for y in YEARS:
        for code, table, key in MODULES:
            if codes and code not in codes:
                continue
            out.append(("ROK.%s/%s" % (y, table), os.path.join(d, "AGENDA.001", "ROK." + y, table), key, code + y))
    return out


def norm(v):
    return {"\\N": "N"}.get(v, v)


def dump(path):
    p = run([tool("tablectl"), "dump", path])
    assert p.returncode == 0, (path, p.stderr)
    lines = p.stdout.splitlines()
    head = lines[0].split("\t")
    return head, [dict(zip(head, l.split("\t"))) for l in lines[1:]]


def snapshot(d, codes=None):
    snap = {}
    for label, path, key, _ in money_tables(d, codes):
        _, rows = dump(path)
        snap[label] = {int(r[key]): norm(r["Uzamceni"]) for r in rows}
    return snap


def archive_dir(d, n):
    return os.path.join(d, "KPX", "Vorlend", "Db", str(n))


def read_archive(d, n, codes=None):
    """label -> list of (ID, Lock) in record order."""
    arch = {}
    for label, _, _, aname in money_tables(d, codes):
        p = os.path.join(archive_dir(d, n), aname)
        if not os.path.exists(p + ".dat"):
            continue
        _, rows = dump(p)
        arch[label] = [(int(r["ID"]), norm(r["Lock"])) for r in rows]
    return arch


def listing(g):
    """(number, status) per listed archive; a line off the layout "number, status, name, date,
    time" gets a status saying so, which no check accepts."""
    p = run([tool("vorlend-batch"), "list", *g])
    if p.returncode != 0:
        return [("?", "list rc=%s %s" % (p.returncode, p.stderr.strip()[-120:]))]
    rows = []
    for l in p.stdout.splitlines():
        f = l.split("\t")
        ok = len(f) >= 5 and f[1] in ("complete", "incomplete", "running")
        rows.append((f[0], f[1] if ok else "bad line %r" % l))
    return rows


def complete_numbers(g):
    return [n for n, st in listing(g) if st == "complete"]


def db_dirs(d):
    """What the archive root holds, but the folder whose lock saves take while they make their
    archives: it stays there and is nobody's archive."""
    root = os.path.join(d, "KPX", "Vorlend", "Db")
    if not os.path.isdir(root):
        return []
    names = [n for n in os.listdir(root) if n != ".ukladani"]
    return sorted(names, key=lambda n: (not n.isdigit(), int(n) if n.isdigit() else 0, n))


def info_correct(path):
    """Correct in section MAIN of an archive's info file (a Windows-1250 ini file), or None."""
    section = None
    for line in open(path, encoding="cp1250", errors="replace"):
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].strip().upper()
        elif section == "MAIN" and "=" in line:
            k, v = line.split("=", 1)
            if k.strip().lower() == "correct":
                return v.strip()
    return None


def archive_state(d, n):
    """What the files of archive directory n say: "none" (no directory), "no info.tab",
    "incomplete" or "complete"."""
    if n is None or not os.path.isdir(archive_dir(d, n)):
        return "none"
    names = {f.lower() for f in os.listdir(archive_dir(d, n))}
    if "info.tab" not in names or "info" not in names:
        return "no info.tab"
    return "complete" if info_correct(os.path.join(archive_dir(d, n), "info")) == "1" else "incomplete"


def changed_docs(before, now):
    return [(l, k) for l in before for k in before[l] if now.get(l, {}).get(k) != before[l][k]]


def restore_back(d, g, n, before, delete_after=False):
    """Restores archive n (stop policy: a record lock left by a dead process would stop it) and
    compares every document with `before`. Returns problems."""
    args = ["restore", *g, "--archive", n] + (["--delete-after"] if delete_after else [])
    r = run([tool("vorlend-batch"), *args])
    if r.returncode != 0:
        return ["restore of %s rc=%s %s" % (n, r.returncode, r.stderr.strip()[-300:])]
    bad = []
    diff = changed_docs(before, snapshot(d))
    if diff:
        bad.append("after the restore of %s %d documents differ from before the save, e.g. %s" % (n, len(diff), diff[:3]))
    if delete_after and os.path.exists(archive_dir(d, n)):
        bad.append("restore --delete-after left archive %s" % n)
    return bad


def names_restore(err, n):
    """The stop message names the archive and the command that restores it."""
    return "restore" in err and re.search(r"--archive[ =]%s(?!\d)" % re.escape(n), err) is not None


def judge_stopped_save(d, g, before, known, rc, out, err, killed, restore=True, delete_after=False):
    """What a save that was stopped or killed (killed: SIGKILL, it could say nothing) left
    behind, judged by the rules in the module's docstring; with `restore`, a listed archive is
    restored and every document must be back as before. Returns (problems, facts)."""
    bad = []
    new = [n for n in db_dirs(d) if n not in known]
    if len(new) > 1:
        bad.append("several new archive directories %s" % new)
    n = new[-1] if new else None
    state = archive_state(d, n)
    # Without info.tab the directory is nobody's archive: a kill while the template was being
    # copied may have left a table file cut short in it, which nothing ever opens.
    arch = read_archive(d, n) if n and state in ("complete", "incomplete") else {}
    archived, blank = 0, 0
    for label, recs in arch.items():
        for i, (k, v) in enumerate(recs):
            if k == 0:
                # the record being appended when the process died; never anywhere but last
                blank += 1
                if i != len(recs) - 1 or not killed:
                    bad.append("%s: record without a key at %d of %d" % (label, i, len(recs)))
                continue
            archived += 1
            if before[label].get(k) != v:
                bad.append("%s %d archived %s, was %s" % (label, k, v, before[label].get(k)))
    changed = changed_docs(before, snapshot(d))
    ls = listing(g)
    lsd = dict(ls)
    listed = lsd.get(n) if n else None
    stray = [(x, st) for x, st in ls if x not in known and x != n]
    if stray:
        bad.append("listed %s" % stray)
    if rc == 0:
        if out.strip() != (n or "") or listed != "complete" or state != "complete":
            bad.append("finished: printed %r, directory %s %s, listed %s" % (out.strip(), n, state, listed))
    else:
        if out.strip():
            bad.append("archive number printed: %r" % out.strip())
        if state == "complete":
            if listed != "complete":
                bad.append("complete archive %s listed %s" % (n, listed))
        elif state == "incomplete":
            if listed != "incomplete":
                bad.append("incomplete archive %s listed as %s" % (n, listed))
            if not killed:
                if not changed and not archived:
                    bad.append("stopped before any document was reached, yet archive %s was kept" % n)
                if not names_restore(err, n):
                    bad.append("stop message names no restore of archive %s: %r" % (n, err.strip()[-300:]))
        else:
            if listed:
                bad.append("archive %s (%s) listed as %s" % (n, state, listed))
            if changed:
                bad.append("%d documents changed but nothing restorable left (directory %s: %s), e.g. %s"
                           % (len(changed), n, state, changed[:3]))
            if n is not None and not killed:
                bad.append("stopped save left directory %s (%s)" % (n, state))
    if restore and listed in ("complete", "incomplete"):
        bad += restore_back(d, g, n, before, delete_after)
    facts = {"n": n, "state": state, "archived": archived, "blank": blank, "changed": len(changed), "listed": listed}
    return bad, facts


def refused_save(d, g):
    """A save without --ignore-incomplete while an incomplete archive exists: exit 1, a message,
    no new directory. Returns problems."""
    dirs = db_dirs(d)
    r = run([tool("vorlend-batch"), "save", *g, "--modules", "PD", "--action", "none"])
    bad = []
    if r.returncode != 1 or not r.stderr.strip():
        bad.append("save beside an incomplete archive: rc=%s out=%r err=%r" % (r.returncode, r.stdout.strip(), r.stderr.strip()[-200:]))
    if db_dirs(d) != dirs:
        bad.append("refused save left directories %s" % sorted(set(db_dirs(d)) - set(dirs)))
    return bad


def batch(g, *args):
    return subprocess.Popen([tool("vorlend-batch"), *args[:1], *g, *args[1:]], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def finish(p, timeout=180):
    try:
        out, err = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        out, err = p.communicate()
        return "HANG", out, unwrapped(err)
    return p.returncode, out, unwrapped(err)


def start_other(d, logname, seconds=300, seed=7, hold=30, pdel=0.0, papp=0.0, codes=None, keys=None):
    log = os.path.join(WORK, logname)
    env = dict(os.environ)
    if keys:
        env["KEYS_PER_TABLE"] = str(keys)
    paths = [t[1] for t in money_tables(d, codes)]
    p = subprocess.Popen([OTHER, log, str(seconds), str(seed), str(hold), str(pdel), str(papp), *paths],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    assert p.stdout.readline().strip() == "ready"
    return p, log


def stop_other(p):
    p.send_signal(signal.SIGTERM)
    _, err = p.communicate(timeout=30)
    return err.strip()


def read_log(log):
    hist = defaultdict(list)  # (label, key) -> [(op, observed, written)]
    counts = defaultdict(int)
    for line in open(log):
        f = line.split()
        counts[f[0]] += 1
        if f[0] == "F":
            hist[(f[1], int(f[2]))].append(("F", f[3], f[4]))
        elif f[0] == "D":
            hist[(f[1], int(f[2]))].append(("D", None, None))
        elif f[0] == "A":
            hist[(f[1], int(f[2]))].append(("A", None, f[3]))
        elif f[0] == "E":
            counts["errors"] += 1
            print("   other-user error:", line.strip())
    return hist, dict(counts)


def check_fault_free_stderr(err):
    bad = [l for l in err.splitlines() if any(w in l.lower() for w in ("busy", "database is locked", "zaneprázd", "chyba"))]
    return bad


def record(name, ok, detail):
    RESULTS.append((name, ok, detail))
    print("%-5s %s: %s" % ("PASS" if ok else "FAIL", name, detail), flush=True)


def linearizable(orig, writes, arch, final, new_value):
    """Other-user write sequence `writes` (each op: observed, written), the save inserted at some point i:
    archived value must be the value at i, final = last other write after i, or new_value."""
    vals = [orig] + [w for _, _, w in writes]
    for i in range(len(writes) + 1):
        # observations of other-user ops must chain: op k (0-based) observes vals[k], except op i
        # (the first after the save) observes new_value
        okchain = True
        for k, (_, obs, _) in enumerate(writes):
            expect = new_value if k == i else vals[k]
            if obs is not None and obs != expect:
                okchain = False
                break
        if not okchain:
            continue
        if (arch is None or arch == vals[i]) and final == (vals[-1] if i < len(writes) else new_value):
            STATS["first" if i == 0 else "last" if i == len(writes) else "middle"] += 1
            return True
    return False


STATS = defaultdict(int)


def check_archive_complete(before, arch, deleted=frozenset(), appended=frozenset()):
    """One archive record per document that existed throughout; no foreign keys."""
    problems = []
    for label, docs in before.items():
        recs = arch.get(label)
        if recs is None:
            problems.append("%s: archive table missing" % label)
            continue
        ids = [k for k, _ in recs]
        seen = defaultdict(int)
        for k in ids:
            seen[k] += 1
        dup = [k for k, c in seen.items() if c > 1]
        missing = [k for k in docs if k not in seen and (label, k) not in deleted]
        foreign = [k for k in seen if k not in docs and (label, k) not in appended]
        if dup or missing or foreign:
            problems.append("%s: dup=%s missing=%s foreign=%s" % (label, dup[:5], missing[:5], foreign[:5]))
    return problems


# ----------------------------------------------------------------------------------------------
def s1(with_tablectl=False):
    name = "s1t" if with_tablectl else "s1"
    d, g = seed(name, s=11)
    before = snapshot(d)
    t0 = time.time()
    if with_tablectl:
        other, log = start_tablectl_loop(d, name + ".log")
    else:
        other, log = start_other(d, name + ".log", hold=5, seed=11, keys=20)
    time.sleep(0.5)
    p = batch(g, "save", "--action", "unlock", "--modules", "all", "--on-conflict", "retry=30", "--name", name)
    rc, out, err = finish(p)
    t_save = time.time() - t0
    time.sleep(0.5)
    info = stop_other(other) if not with_tablectl else stop_tablectl_loop(other)
    hist, counts = read_log(log)
    after = snapshot(d)
    n = out.strip()
    arch = read_archive(d, n) if rc == 0 else {}
    bad = []
    if rc != 0:
        bad.append("save rc=%s err=%s" % (rc, err[-500:]))
    bad += check_archive_complete(before, arch)
    stderr_bad = check_fault_free_stderr(err)
    if stderr_bad:
        bad.append("stderr: %s" % stderr_bad[:3])
    touched = 0
    STATS.clear()
    for label, docs in before.items():
        amap = dict(arch.get(label, []))
        for k, orig in docs.items():
            writes = hist.get((label, k), [])
            if writes:
                touched += 1
            if k not in amap:
                continue
            if not linearizable(orig, writes, amap[k], after[label].get(k), "0"):
                bad.append("%s %d orig=%s arch=%s final=%s writes=%s" % (label, k, orig, amap[k], after[label].get(k), writes))
    # restore with the other user stopped: exact equality with the archive
    t1 = time.time()
    rrc, _, rerr = finish(batch(g, "restore", "--archive", n, "--on-conflict", "retry=30"))
    t_rest = time.time() - t1
    restored = snapshot(d)
    mism = 0
    for label, recs in arch.items():
        for k, v in recs:
            if restored[label].get(k) != v:
                mism += 1
                if mism <= 3:
                    bad.append("restore %s %d arch=%s now=%s" % (label, k, v, restored[label].get(k)))
    if rrc != 0:
        bad.append("restore rc=%s %s" % (rrc, rerr[-300:]))
    record(name, not bad, "conflict msgs %d, save position in doc histories %s; " % (err.count("Zámek v modulu"), dict(STATS)) + "save rc=%s %.1fs, other ops %s (%s), docs touched %d, restore rc=%s %.1fs, mismatches %d %s"
           % (rc, t_save, counts, info, touched, rrc, t_rest, mism, bad[:6]))


def start_tablectl_loop(d, logname):
    """Another user through tablectl processes: hold with a posted value (0-300 ms) or set."""
    log = os.path.join(WORK, logname)
    pid = os.fork()
    if pid == 0:
        stop = [False]
        signal.signal(signal.SIGTERM, lambda *a: stop.__setitem__(0, True))
        rng = random.Random(5)
        tabs = money_tables(d)
        keys = {}
        for label, path, key, _ in tabs:
            _, rows = dump(path)
            keys[label] = [int(r[key]) for r in rows]
        with open(log, "w") as f:
            f.write("ready\n")
            f.flush()
            while not stop[0]:
                label, path, key, _ = rng.choice(tabs)
                k = rng.choice(keys[label])
                v = str(rng.randint(0, 1))
                if rng.random() < 0.5:
                    h = subprocess.Popen([tool("tablectl"), "hold", path, "--index", key, "--key", str(k), "Uzamceni=" + v],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                    line = h.stdout.readline().strip()
                    if line == "locked":
                        time.sleep(rng.random() * 0.3)
                    h.stdin.close()
                    h.wait()
                    ok = line == "locked" and h.returncode == 0
                else:
                    s = run([tool("tablectl"), "set", path, "--index", key, "--key", str(k), "Uzamceni=" + v])
                    ok = s.returncode == 0
                # unknown observed value: None
                f.write(("F %s %d ? %s\n" % (label, k, v)) if ok else ("C %s %d\n" % (label, k)))
                f.flush()
        os._exit(0)
    while not os.path.exists(log) or os.path.getsize(log) == 0:
        time.sleep(0.05)
    return pid, log


def stop_tablectl_loop(pid):
    os.kill(pid, signal.SIGTERM)
    os.waitpid(pid, 0)
    return "tablectl loop"


def read_log_any(log):
    return read_log(log)


_orig_read_log = read_log


def read_log(log):  # noqa: F811 - accepts the tablectl loop's "?" observations
    hist, counts = defaultdict(list), defaultdict(int)
    for line in open(log):
        f = line.split()
        if not f or f[0] == "ready":
            continue
        counts[f[0]] += 1
        if f[0] == "F":
            hist[(f[1], int(f[2]))].append(("F", None if f[3] == "?" else f[3], f[4]))
        elif f[0] in ("D", "A"):
            hist[(f[1], int(f[2]))].append((f[0], None, f[3] if f[0] == "A" else None))
        elif f[0] == "E":
            counts["errors"] += 1
            print("   other-user error:", line.strip())
    return hist, dict(counts)


# ----------------------------------------------------------------------------------------------
def s2(variant):
    name = "s2" + variant
    d, g = seed(name, s=21)
    before = snapshot(d)
    if variant == "a":    # different modules, both unlock
        a_args = ["--modules", "PD,BD,OP,OZ", "--action", "unlock"]
        b_args = ["--modules", "ID,PF,VF,SD", "--action", "unlock"]
    elif variant == "b":  # same modules, both unlock
        a_args = ["--modules", "all", "--action", "unlock"]
        b_args = ["--modules", "all", "--action", "unlock"]
    else:                 # same modules, unlock against lock
        a_args = ["--modules", "all", "--action", "unlock"]
        b_args = ["--modules", "all", "--action", "lock"]
    t0 = time.time()
    # each started knowing the other may run (a second save of the agenda otherwise refuses) or,
    # on the same tables, may have finished already and left its archive waiting for its restore
    both = ["--on-conflict", "retry=30", "--ignore-incomplete", "--force"]
    pa = batch(g, "save", *a_args, "--name", "A", *both)
    pb = batch(g, "save", *b_args, "--name", "B", *both)
    ra, oa, ea = finish(pa)
    rb, ob, eb = finish(pb)
    dt = time.time() - t0
    after = snapshot(d)
    bad = []
    if ra != 0 or rb != 0:
        bad.append("rc A=%s B=%s errA=%s errB=%s" % (ra, rb, ea[-300:], eb[-300:]))
    na, nb = oa.strip(), ob.strip()
    if na == nb:
        bad.append("same archive number %s" % na)
    for e in (ea, eb):
        s = check_fault_free_stderr(e)
        if s:
            bad.append("stderr: %s" % s[:3])
    conflicts = sum(e.count("Zámek v modulu") for e in (ea, eb))
    la = complete_numbers(g)
    if na not in la or nb not in la:
        bad.append("listing %s lacks %s/%s" % (la, na, nb))
    codes_a = a_args[1].split(",") if a_args[1] != "all" else None
    codes_b = b_args[1].split(",") if b_args[1] != "all" else None
    arch_a = read_archive(d, na, codes_a)
    arch_b = read_archive(d, nb, codes_b)
    bad += ["A " + x for x in check_archive_complete({l: v for l, v in before.items() if l in arch_a or not codes_a}, arch_a)]
    bad += ["B " + x for x in check_archive_complete({l: v for l, v in before.items() if l in arch_b or not codes_b}, arch_b)]
    newv = {"unlock": "0", "lock": "1"}
    va, vb = newv[a_args[3]], newv[b_args[3]]
    nbad = 0
    first = defaultdict(int)
    for label, docs in before.items():
        ma, mb = dict(arch_a.get(label, [])), dict(arch_b.get(label, []))
        for k, orig in docs.items():
            fin = after[label][k]
            if k in ma and k in mb:
                ok = (ma[k] == orig and mb[k] == va and fin == vb) or (mb[k] == orig and ma[k] == vb and fin == va)
                if va != vb:
                    first["A-first" if fin == vb else "B-first"] += 1
            elif k in ma:
                ok = ma[k] == orig and fin == va
            elif k in mb:
                ok = mb[k] == orig and fin == vb
            else:
                ok = False
            if not ok:
                nbad += 1
                if nbad <= 3:
                    bad.append("%s %d orig=%s A=%s B=%s final=%s" % (label, k, orig, ma.get(k), mb.get(k), fin))
    record(name, not bad, "A rc=%s #%s, B rc=%s #%s, %.1fs together, conflict messages %d, order %s, bad docs %d %s"
           % (ra, na, rb, nb, dt, conflicts, dict(first), nbad, bad[:6]))


# ----------------------------------------------------------------------------------------------
S3_DELAY = float(os.environ.get("S3_DELAY", "1.0"))


def s3():
    d, g = seed("s3", s=31)
    orig = snapshot(d)
    rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", "lock", "--name", "old"))
    assert rc == 0, err
    n1 = out.strip()
    mid = snapshot(d)
    assert all(v == "1" for t in mid.values() for v in t.values())
    t0 = time.time()
    # The race is the point: the new save starts beside the old archive still waiting for its
    # restore, and that restore runs while a newer archive of the same tables exists, so both
    # are forced past the archive order.
    ps = batch(g, "save", "--modules", "all", "--action", "unlock", "--on-conflict", "retry=30", "--name", "new",
               "--force")
    time.sleep(S3_DELAY)
    pr = batch(g, "restore", "--archive", n1, "--on-conflict", "retry=30", "--force")
    rr, _, er = finish(pr)
    rs, os_, es = finish(ps)
    dt = time.time() - t0
    after = snapshot(d)
    bad = []
    if rr != 0 or rs != 0:
        bad.append("restore rc=%s save rc=%s %s %s" % (rr, rs, er[-300:], es[-300:]))
    for e in (er, es):
        s = check_fault_free_stderr(e)
        if s:
            bad.append("stderr: %s" % s[:3])
    n2 = os_.strip()
    arch2 = read_archive(d, n2)
    bad += check_archive_complete(orig, arch2)
    nbad = 0
    order = defaultdict(int)
    for label, docs in orig.items():
        m2 = dict(arch2.get(label, []))
        for k, o in docs.items():
            fin = after[label][k]
            # save first: archived 1 (the old save's lock), final = restored original
            # restore first: archived original, final 0
            if m2.get(k) == "1" and fin == o:
                order["save-first"] += 1
            elif m2.get(k) == o and fin == "0":
                order["restore-first"] += 1
            else:
                nbad += 1
                if nbad <= 3:
                    bad.append("%s %d orig=%s arch2=%s final=%s" % (label, k, o, m2.get(k), fin))
    # restoring the new archive gives its values back exactly
    rc3, _, e3 = finish(batch(g, "restore", "--archive", n2))
    now = snapshot(d)
    mism = sum(1 for label, recs in arch2.items() for k, v in recs if now[label].get(k) != v)
    record("s3", not bad and rc3 == 0 and mism == 0,
           "restore rc=%s save rc=%s %.1fs, interleaving %s, bad %d, re-restore rc=%s mism=%d %s"
           % (rr, rs, dt, dict(order), nbad, rc3, mism, bad[:6]))


# ----------------------------------------------------------------------------------------------
def tables_check(d, n=None):
    bad = []
    paths = [t[1] for t in money_tables(d)]
    # An archive directory without info.tab is nobody's archive (a kill may have cut a template
    # copy short in it): only the tables of listed archives must be sound.
    if n and archive_state(d, n) in ("complete", "incomplete"):
        paths += [os.path.join(archive_dir(d, n), t[3]) for t in money_tables(d)
                  if os.path.exists(os.path.join(archive_dir(d, n), t[3]) + ".dat")]
    for p in paths:
        c = run([tool("tablectl"), "check", p])
        if c.returncode != 0 or c.stdout.strip() != "ok":
            bad.append("%s: %s %s" % (p, c.stdout.strip(), c.stderr.strip()))
    return bad


def interrupted(name, sig, delay, command="save"):
    # Large enough that the signal lands in the middle of the job: with blocks a save of 32,000
    # documents is over in a fifth of a second, one of these 320,000 in about 1.5 s.
    d, g = seed(name, docs=20000, s=41)
    before = snapshot(d)
    n0 = None
    if command == "restore":
        rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", "lock"))
        n0 = out.strip()
    known = set(db_dirs(d))
    if command == "save":
        p = batch(g, "save", "--modules", "all", "--action", "unlock", "--on-conflict", "retry=30", "--name", name)
    else:
        p = batch(g, "restore", "--archive", n0)
    time.sleep(delay)
    t_sig = time.time()
    p.send_signal(sig)
    rc, out, err = finish(p, timeout=30)
    t_exit = time.time() - t_sig
    bad = []
    expect = -9 if sig == signal.SIGKILL else 4
    if rc != expect:
        bad.append("rc=%s expected %s" % (rc, expect))
    new = [n for n in db_dirs(d) if n not in known]
    partial = new[-1] if new else None
    bad += tables_check(d, partial)
    if command == "save":
        # the documents it reached were changed; the archive it leaves holds their earlier states,
        # is listed as incomplete, blocks a plain save and restores all of them
        probs, f = judge_stopped_save(d, g, before, known, rc, out, err, sig == signal.SIGKILL, restore=False)
        bad += probs
        reached, changed = f["archived"], f["changed"]
        if f["listed"] == "incomplete":
            bad += refused_save(d, g)
            bad += restore_back(d, g, partial, before)
        elif changed:
            bad.append("%d documents changed, archive %s %s" % (changed, partial, f["state"]))
    else:
        mid = snapshot(d)
        reached = sum(1 for l in before for k in before[l] if mid[l][k] == before[l][k] and before[l][k] == "0")
        changed = None
    ls = listing(g)
    # later save works with --on-conflict stop: any stale record lock would stop it (beside the
    # archive whose restore was cut short, which still waits for the rest of its restore)
    later = ["--ignore-incomplete"] if (partial, "incomplete") in ls else []
    later += ["--force"] if command == "restore" else []
    r2 = run([tool("vorlend-batch"), "save", *g, "--modules", "all", "--action", "none", "--on-conflict", "stop", *later])
    if r2.returncode != 0:
        bad.append("later save %s rc=%s %s" % (later, r2.returncode, r2.stderr[-300:]))
    else:
        n2 = r2.stdout.strip()
        if n2 == partial or n2 in known:
            bad.append("number reused")
        a2 = read_archive(d, n2)
        bad += check_archive_complete(before, a2)
        if command == "save":
            # restored before this save: it saw every document as it was at the start
            wrong = [(l, k, v) for l, recs in a2.items() for k, v in recs if before[l].get(k) != v]
            if wrong:
                bad.append("later save archived %d states unlike the original, e.g. %s" % (len(wrong), wrong[:3]))
        if (n2, "complete") not in listing(g):
            bad.append("later archive %s not listed complete: %s" % (n2, listing(g)))
    if "--ignore-incomplete" in later:
        rd = run([tool("vorlend-batch"), "delete", *g, "--archive", partial])
        if rd.returncode != 0 or os.path.exists(archive_dir(d, partial)) or partial in dict(listing(g)):
            bad.append("delete of incomplete %s rc=%s %s" % (partial, rd.returncode, rd.stderr.strip()[-200:]))
    # and every document can be locked+posted by another user (tablectl set on a sample incl. the last reached)
    hold = run([tool("tablectl"), "set", money_tables(d)[0][1], "--index", "Cislo", "--key",
                str(next(iter(before[money_tables(d)[0][0]]))), "Uzamceni=1"])
    if hold.returncode != 0:
        bad.append("tablectl set after: %s" % hold.stderr)
    record(name, not bad, "%s rc=%s exit %.2fs after signal, reached %s, changed %s, listed %s, %s"
           % (command, rc, t_exit, reached, changed, ls, bad[:6]))


def s4():
    interrupted("s4", signal.SIGKILL, 0.8)
    interrupted("s4r", signal.SIGKILL, 0.6, "restore")


def s5():
    interrupted("s5term", signal.SIGTERM, 0.8)
    interrupted("s5int", signal.SIGINT, 0.6)
    interrupted("s5rterm", signal.SIGTERM, 0.5, "restore")
    # SIGTERM while waiting on a lock conflict with retry
    d, g = seed("s5c", s=43)
    before = snapshot(d)
    label, path, key, _ = [t for t in money_tables(d) if t[0] == "ROK.002/POKLKNIH"][0]
    _, rows = dump(path)
    k = rows[5][key]
    h = subprocess.Popen([tool("tablectl"), "hold", path, "--index", key, "--key", k], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, text=True)
    assert h.stdout.readline().strip() == "locked"
    p = batch(g, "save", "--modules", "all", "--action", "unlock", "--on-conflict", "retry=60")
    time.sleep(1.5)
    t = time.time()
    p.send_signal(signal.SIGTERM)
    rc, out, err = finish(p, timeout=30)
    dt = time.time() - t
    h.stdin.close()
    h.wait()
    ls = listing(g)
    # the documents before the held one were changed: an incomplete archive names its restore
    probs, f = judge_stopped_save(d, g, before, set(), rc, out, err, killed=False)
    ok = rc == 4 and "Zámek v modulu" in err and not probs
    record("s5conflict", ok, "rc=%s after %.2fs, listed %s, changed %d, tail %r %s"
           % (rc, dt, ls, f["changed"], err[-240:], probs[:4]))


# ----------------------------------------------------------------------------------------------
def s6(during):
    name = "s6" + during
    d, g = seed(name, s=61)
    before = snapshot(d)
    n0 = None
    if during == "r":
        rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", "lock"))
        n0 = out.strip()
        arch0 = read_archive(d, n0)
    other, log = start_other(d, name + ".log", hold=int(os.environ.get("S6_HOLD", "10")), pdel=0.15, papp=0.15,
                             seed=61, keys=int(os.environ.get("S6_KEYS", "0")) or None)
    time.sleep(0.3)
    t0 = time.time()
    if during == "s":
        p = batch(g, "save", "--modules", "all", "--action", "unlock", "--on-conflict", "retry=30")
    else:
        p = batch(g, "restore", "--archive", n0, "--on-conflict", "retry=30")
    rc, out, err = finish(p, timeout=120)
    dt = time.time() - t0
    info = stop_other(other)
    hist, counts = read_log(log)
    after = snapshot(d)
    bad = []
    if rc != 0:
        bad.append("rc=%s %s" % (rc, err[-400:]))
    s = check_fault_free_stderr(err)
    if s:
        bad.append("stderr: %s" % s[:3])
    deleted = {lk for lk, ops in hist.items() if any(o[0] == "D" for o in ops)}
    appended = {lk for lk, ops in hist.items() if any(o[0] == "A" for o in ops)}
    nbad = 0
    if during == "s" and rc == 0:
        arch = read_archive(d, out.strip())
        bad += check_archive_complete(before, arch, deleted, appended)
        for label, recs in arch.items():
            for k, v in recs:
                ops = [o for o in hist.get((label, k), []) if o[0] == "F"]
                if (label, k) in deleted:
                    continue
                if (label, k) in appended:
                    o = [x for x in hist[(label, k)] if x[0] == "A"][0][2]
                else:
                    o = before[label][k]
                if not linearizable(o, ops, v, after[label].get(k), "0"):
                    nbad += 1
                    if nbad <= 3:
                        bad.append("%s %d orig=%s arch=%s final=%s ops=%s" % (label, k, o, v, after[label].get(k), ops))
    elif during == "r" and rc == 0:
        for label, recs in arch0.items():
            for k, v in recs:
                if (label, k) in deleted:
                    if k in after[label]:
                        bad.append("deleted doc present %s %d" % (label, k))
                    continue
                ops = [o for o in hist.get((label, k), []) if o[0] == "F"]
                if not linearizable("1", ops, None, after[label].get(k), v):
                    nbad += 1
                    if nbad <= 3:
                        bad.append("%s %d arch=%s final=%s ops=%s" % (label, k, v, after[label].get(k), ops))
    bad += tables_check(d)
    record(name, not bad, "rc=%s %.1fs, other %s (%s), bad %d %s" % (rc, dt, counts, info, nbad, bad[:6]))


SCEN = {"s1": lambda: s1(False), "s1t": lambda: s1(True), "s2a": lambda: s2("a"), "s2b": lambda: s2("b"),
        "s2c": lambda: s2("c"), "s3": s3, "s4": s4, "s5": s5, "s6s": lambda: s6("s"), "s6r": lambda: s6("r")}


def read_logs_stamped(logs):
    """Flip histories of several other-user processes merged by the stamp taken under the lock."""
    ops = defaultdict(list)
    counts = defaultdict(int)
    for log in logs:
        for line in open(log):
            f = line.split()
            if not f or f[0] == "ready":
                continue
            counts[f[0]] += 1
            if f[0] == "F":
                ops[(f[1], int(f[2]))].append((float(f[5]), ("F", f[3], f[4])))
            elif f[0] in ("D", "A", "E"):
                raise RuntimeError("unexpected op in stamped log: " + line)
    return {k: [o for _, o in sorted(v)] for k, v in ops.items()}, dict(counts)


def s1x(rounds=int(os.environ.get("S1X_ROUNDS", "12"))):
    """Many short rounds on small tables: two other users flipping every document of the saved
    tables with short holds while the save (retry) runs; exact linearizability per document."""
    fails, conflicts, total_mid, t_all = [], 0, 0, time.time()
    for r in range(rounds):
        d, g = seed("s1x", docs=150, s=100 + r)
        codes = ["PD", "SD"]
        before = snapshot(d, codes)
        others = [start_other(d, "s1x.%d.log" % i, hold=8, seed=1000 * r + i, codes=codes) for i in range(2)]
        p = batch(g, "save", "--action", "unlock" if r % 2 == 0 else "lock", "--modules", "PD,SD",
                  "--on-conflict", "retry=30")
        rc, out, err = finish(p)
        time.sleep(0.2)
        for o, _ in others:
            stop_other(o)
        hist, counts = read_logs_stamped([l for _, l in others])
        after = snapshot(d, codes)
        conflicts += err.count("Zámek v modulu")
        if rc != 0:
            fails.append("round %d rc=%s %s" % (r, rc, err[-300:]))
            continue
        arch = read_archive(d, out.strip(), codes)
        probs = check_archive_complete(before, arch)
        fails += ["round %d %s" % (r, p) for p in probs]
        newv = "0" if r % 2 == 0 else "1"
        STATS.clear()
        for label, recs in arch.items():
            for k, v in recs:
                if not linearizable(before[label][k], hist.get((label, k), []), v, after[label][k], newv):
                    fails.append("round %d %s %d orig=%s arch=%s final=%s ops=%s" % (
                        r, label, k, before[label][k], v, after[label][k], hist.get((label, k), [])[:6]))
        total_mid += STATS["middle"]
    record("s1x", not fails, "%d rounds %.1fs, save conflict messages %d, saves landing mid-history %d, %s"
           % (rounds, time.time() - t_all, conflicts, total_mid, fails[:5]))


SCEN["s1x"] = s1x


def s4x(rounds=int(os.environ.get("S4X_ROUNDS", "12"))):
    """Kills at random moments (SIGKILL / SIGTERM alternately) of saves on small agendas: what is
    left is a complete archive, an incomplete one whose restore (with --delete-after) puts every
    document back, or nothing and no document changed; every table passes check; the next save
    (stop policy, no --ignore-incomplete) finishes, so no record lock outlived the process."""
    fails, outcomes, t_all, temps = [], defaultdict(int), time.time(), 0
    rng = random.Random(4)
    for r in range(rounds):
        d, g = seed("s4x", docs=300, s=400 + r)
        before = snapshot(d)
        sig = signal.SIGKILL if r % 2 == 0 else signal.SIGTERM
        p = batch(g, "save", "--modules", "all", "--action", "unlock")
        time.sleep(rng.uniform(0.0, 1.4))
        p.send_signal(sig)
        rc, out, err = finish(p, timeout=30)
        if rc not in (0, -9 if sig == signal.SIGKILL else 4):
            fails.append("round %d rc=%s %s" % (r, rc, err[-200:]))
        for n in db_dirs(d):
            fails += ["round %d %s" % (r, x) for x in tables_check(d, n)]
            # a file being replaced when SIGKILL came keeps its temporary twin; a stopped save has none
            stray = [f for f in os.listdir(archive_dir(d, n)) if ".~" in f]
            if stray and sig == signal.SIGKILL:
                temps += len(stray)
            elif stray:
                fails.append("round %d temp files left %s" % (r, stray))
        probs, f = judge_stopped_save(d, g, before, set(), rc, out, err, sig == signal.SIGKILL, delete_after=True)
        fails += ["round %d %s rc=%s: %s" % (r, sig.name, rc, x) for x in probs]
        outcomes["%s rc=%s %s" % (sig.name, rc, f["state"])] += 1
        r2 = run([tool("vorlend-batch"), "save", *g, "--modules", "all", "--action", "none"])
        if r2.returncode != 0:
            fails.append("round %d next save rc=%s %s" % (r, r2.returncode, r2.stderr[-200:]))
    record("s4x", not fails, "%d rounds %.1fs, outcomes %s, temporary files left by SIGKILL %d %s"
           % (rounds, time.time() - t_all, dict(outcomes), temps, fails[:5]))


def s7():
    """Conflict handling limits: a document held longer than retry=N stops the save with 4 and a
    clear message after about N s; a holder killed with SIGKILL frees the document at once."""
    d, g = seed("s7", s=71)
    label, path, key, _ = [t for t in money_tables(d) if t[0] == "ROK.002/POKLKNIH"][0]
    _, rows = dump(path)
    k = rows[10][key]
    h = subprocess.Popen([tool("tablectl"), "hold", path, "--index", key, "--key", k], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, text=True)
    assert h.stdout.readline().strip() == "locked"
    before = snapshot(d, ["PD"])
    t = time.time()
    rc, out, err = finish(batch(g, "save", "--modules", "PD", "--action", "unlock", "--on-conflict", "retry=2"))
    dt = time.time() - t
    h.stdin.close(); h.wait()
    # the ten documents before the held one were changed: the incomplete archive puts them back
    probs, f1 = judge_stopped_save(d, g, before, set(), rc, out, err, killed=False, delete_after=True)
    ok1 = rc == 4 and "Zámek v modulu" in err and not probs and 1.5 < dt < 5
    # holder killed while the save waits
    flip = "0" if rows[10]["Uzamceni"] == "1" else "1"
    h = subprocess.Popen([tool("tablectl"), "hold", path, "--index", key, "--key", k, "Uzamceni=" + flip],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    assert h.stdout.readline().strip() == "locked"
    p = batch(g, "save", "--modules", "PD", "--action", "unlock", "--on-conflict", "retry=30")
    time.sleep(1.0)
    h.kill(); h.wait()
    t = time.time()
    rc2, out2, err2 = finish(p)
    dt2 = time.time() - t
    arch = dict(read_archive(d, out2.strip(), ["PD"]).get(label, [])) if rc2 == 0 else {}
    # (the holder's unposted value must not appear anywhere)
    now = snapshot(d, ["PD"])[label]
    ok2 = rc2 == 0 and now[int(k)] == "0" and arch.get(int(k)) == norm(rows[10]["Uzamceni"])
    record("s7", ok1 and ok2, "held past retry=2: rc=%s after %.1fs, left %s archive restored %s; holder SIGKILLed: rc=%s, "
           "finished %.1fs later, archived %s (orig %s, killed holder's value %s never posted)"
           % (rc, dt, f1["state"], probs[:3], rc2, dt2, arch.get(int(k)), rows[10]["Uzamceni"], flip))


SCEN["s4x"] = s4x
SCEN["s7"] = s7


def s8():
    """Pile-up: an older archive restored, three saves (unlock, lock, none) and another user, all at
    once on the same tables. Every process ends 0 without busy/locked errors; every archive is
    complete; the documents end in a state some order of the writers explains (checked loosely:
    each archive value is one the document could have had: 0, 1)."""
    d, g = seed("s8", s=81)
    before = snapshot(d)
    rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", "lock", "--name", "old"))
    n0 = out.strip()
    other, log = start_other(d, "s8.log", hold=5, seed=81, keys=50)
    t0 = time.time()
    # All of them at once on purpose: the saves run beside the old archive still waiting for its
    # restore and beside each other, and the restore beside the newer archives they make.
    both = ["--on-conflict", "retry=30", "--ignore-incomplete", "--force"]
    procs = {
        "restore": batch(g, "restore", "--archive", n0, "--on-conflict", "retry=30", "--force"),
        "unlock": batch(g, "save", "--modules", "all", "--action", "unlock", *both),
        "lock": batch(g, "save", "--modules", "all", "--action", "lock", *both),
        "none": batch(g, "save", "--modules", "all", "--action", "none", *both),
    }
    res = {k: finish(p, timeout=240) for k, p in procs.items()}
    dt = time.time() - t0
    info = stop_other(other)
    _, counts = read_log(log)
    bad = []
    nums = []
    for k, (rc, out, err) in res.items():
        if rc != 0:
            bad.append("%s rc=%s %s" % (k, rc, err[-300:]))
        s = check_fault_free_stderr(err)
        if s:
            bad.append("%s stderr %s" % (k, s[:2]))
        if k != "restore" and rc == 0:
            nums.append(out.strip())
            bad += ["%s %s" % (k, x) for x in check_archive_complete(before, read_archive(d, out.strip()))]
    if len(set(nums)) != len(nums) or n0 in nums:
        bad.append("archive numbers %s (old %s)" % (nums, n0))
    bad += tables_check(d)
    conflicts = sum(r[2].count("Zámek v modulu") for r in res.values())
    wal = max((os.path.getsize(os.path.join(dp, f)) for dp, _, fs in os.walk(d) for f in fs if f.endswith("-wal")), default=0)
    record("s8", not bad, "4 batch processes + other user (%s), %.1fs, conflict messages %d, largest leftover -wal %d B %s"
           % (counts, dt, conflicts, wal, bad[:5]))


SCEN["s8"] = s8


def s9(rounds=8):
    """Start-up race: four saves started together on a fresh agenda (no KPX folders yet)."""
    fails, t0 = [], time.time()
    for r in range(rounds):
        d, g = seed("s9", docs=20, s=900 + r)
        ps = [batch(g, "save", "--modules", "all", "--action", "none", "--ignore-incomplete") for _ in range(4)]
        res = [finish(p) for p in ps]
        nums = sorted(o.strip() for _, o, _ in res)
        if any(rc != 0 for rc, _, _ in res) or nums != ["1", "2", "3", "4"] or \
                sorted(listing(g)) != [(n, "complete") for n in nums]:
            fails.append("round %d: %s %s" % (r, [(rc, o.strip(), e[-120:]) for rc, o, e in res], listing(g)))
    record("s9", not fails, "%d rounds %.1fs %s" % (rounds, time.time() - t0, fails[:3]))


SCEN["s9"] = s9


def s10():
    """The console going away: (a) standard error is a pipe whose reader exits early (`2>&1 | head`),
    (b) SIGHUP (terminal/SSH session closed). Sound: the save is not killed half-way (finishes, or at
    least stops cleanly with 4; a broken standard error then exits 5); never death by SIGPIPE/SIGHUP
    leaving an unlisted archive."""
    res = []
    for case in ("sigpipe", "sighup"):
        d, g = seed("s10" + case, s=101)
        before = snapshot(d)
        if case == "sigpipe":
            r, w = os.pipe()
            p = subprocess.Popen([tool("vorlend-batch"), "save", *g, "--modules", "all", "--action", "unlock"],
                                 stdout=subprocess.PIPE, stderr=w, text=True)
            os.close(w)
            os.read(r, 64)  # the reader takes the first bytes and goes away, like `| head -1`
            os.close(r)
        else:
            p = batch(g, "save", "--modules", "all", "--action", "unlock")
            time.sleep(1.0)
            p.send_signal(signal.SIGHUP)
        rc, out, _ = finish(p)
        after = snapshot(d)
        changed = sum(1 for l in before for k in before[l] if before[l][k] != after[l][k])
        res.append((case, rc, ["%s %s" % x for x in listing(g)], changed))
    # A standard error whose reader went away is reported by exit status 5 once the job has ended.
    ok = all(rc in (0, 4) or (case == "sigpipe" and rc == 5) for case, rc, _, _ in res)
    record("s10", ok, "; ".join("%s: rc=%s listed=%s docs changed=%d" % x for x in res))


SCEN["s10"] = s10


def s11(rounds=int(os.environ.get("S11_ROUNDS", "100")), term_rounds=int(os.environ.get("S11_TERM_ROUNDS", "20"))):
    """Recovery check: a save (all modules, unlock) of a small agenda SIGKILLed at moments spread
    evenly over the length of an uninterrupted save (measured first; the last stretch reaches past
    its end). After each kill the incomplete archive, if any, is restored through vorlend-batch and
    every document of every table must be exactly as before the save; a kill that left no
    restorable archive must have changed nothing. While an incomplete archive exists a plain save
    is refused, and `delete` takes the archive away. Then SIGTERM over the first tenth of a save,
    where it meets the save before and just after its first change: a save stopped before it
    changed anything leaves no directory, one stopped later names the archive and its restore."""
    docs, t_all = 1500, time.time()
    fails, points, blanks = [], [], 0

    def start():
        p = batch(g, "save", "--modules", "all", "--action", "unlock", "--name", "s11")
        return p, time.monotonic()

    # the length of an uninterrupted save (the median of three), then one more watched through
    # `list` while it runs: the archive of a running save is listed as running, never as an
    # incomplete one, and `restore` and `delete` refuse it
    lengths = []
    for i in range(4):
        d, g = seed("s11", docs=docs, s=1100 + i)
        before = snapshot(d)
        p, t0 = start()
        seen, tried = [], []
        while p.poll() is None:
            if i < 3:
                time.sleep(0.002)
                continue
            ls = listing(g)
            if p.poll() is None:
                seen += [x for x in ls if x[1] not in ("complete", "running")]
            if not tried and os.path.exists(os.path.join(archive_dir(d, "1"), "info.tab")):
                for cmd in ("restore", "delete"):
                    r = run([tool("vorlend-batch"), cmd, *g, "--archive", "1"])
                    tried.append((cmd, r.returncode, p.poll() is None))
        if i < 3:
            lengths.append(time.monotonic() - t0)
        rc, out, err = finish(p)
        if rc != 0 or listing(g) != [(out.strip(), "complete")]:
            fails.append("uninterrupted save rc=%s listed %s %s" % (rc, listing(g), err[-200:]))
        elif i == 3:
            fails += restore_back(d, g, out.strip(), before)
        if seen:
            fails.append("running save listed %s" % seen[:3])
        wrongly = [(cmd, rc) for cmd, rc, running in tried if running and rc != 1]
        if wrongly:
            fails.append("%s of the running save's archive" % wrongly)
    watched = ", running archive refused by %s" % ("/".join(c for c, _, running in tried if running) or "nothing (save ended first)")
    # The first restore changes every document back; the later ones, which the rounds repeat,
    # write the same values and are what the kill points must spread over.
    length = min(lengths[1:])
    reach = 1.15 * length

    rng = random.Random(11)
    for r in range(rounds):
        d, g = seed("s11", docs=docs, s=1200 + r)
        before = snapshot(d)
        at = (r + rng.random()) / rounds * reach
        p, t0 = start()
        delay = t0 + at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        p.send_signal(signal.SIGKILL)
        t_kill = time.monotonic() - t0
        rc, out, err = finish(p, timeout=30)
        probs = [] if rc in (-9, 0) else ["rc=%s %s" % (rc, err[-200:])]
        more, f = judge_stopped_save(d, g, before, set(), rc, out, err, killed=True)
        probs += more
        blanks += f["blank"]
        if f["listed"] == "incomplete" and not more:
            # restored, yet still incomplete: it blocks a plain save until it is deleted
            probs += refused_save(d, g)
            rd = run([tool("vorlend-batch"), "delete", *g, "--archive", f["n"]])
            if rd.returncode != 0 or os.path.exists(archive_dir(d, f["n"])) or listing(g):
                probs.append("delete %s rc=%s %s, listed %s" % (f["n"], rd.returncode, rd.stderr.strip()[-200:], listing(g)))
        points.append((t_kill * 1000, f, not probs))
        fails += ["kill at %.0f ms: %s" % (t_kill * 1000, x) for x in probs]

    term = []
    for r in range(term_rounds):
        d, g = seed("s11", docs=docs, s=1400 + r)
        before = snapshot(d)
        at = (r + rng.random()) / term_rounds * 0.1 * length
        p, t0 = start()
        delay = t0 + at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        # no file list yet, so no Money table open yet: the stop comes before any document
        unopened = not any(os.path.exists(os.path.join(archive_dir(d, n), "info.tab")) for n in db_dirs(d))
        p.send_signal(signal.SIGTERM)
        t_kill = time.monotonic() - t0
        rc, out, err = finish(p, timeout=30)
        # a signal before the handler is in place ends the process before it made anything
        early = rc == -signal.SIGTERM and not db_dirs(d)
        # (within the first tenth of a save, a save that finished lost the stop request)
        probs = [] if rc == 4 or early else ["rc=%s %s" % (rc, err[-200:])]
        more, f = judge_stopped_save(d, g, before, set(), rc, out, err, killed=early, delete_after=False)
        probs += more
        if unopened and (f["state"] != "none" or f["changed"] or f["archived"]):
            probs.append("stopped before its file list existed, yet left %s %s with %d records, %d documents changed"
                         % (f["state"], f["n"], f["archived"], f["changed"]))
        if f["listed"] == "incomplete":
            run([tool("vorlend-batch"), "delete", *g, "--archive", f["n"]])
        term.append((t_kill * 1000, rc, f, not probs, unopened))
        fails += ["SIGTERM at %.0f ms: %s" % (t_kill * 1000, x) for x in probs]

    short = {"none": "-", "no info.tab": "dir", "incomplete": "inc", "complete": "done"}
    print("   s11 kill points: ms after start, what the save left (- nothing, dir: directory without "
          "info.tab, inc/done: incomplete/complete archive with records archived/documents changed), "
          "! = round failed", flush=True)
    items = []
    for ms, f, ok in points:
        st = short.get(f["state"], f["state"])
        if f["state"] in ("incomplete", "complete"):
            st += " %d/%d" % (f["archived"], f["changed"])
        items.append("%5.0f %-13s%s" % (ms, st, "" if ok else "!"))
    for i in range(0, len(items), 5):
        print("    " + "  ".join(items[i:i + 5]), flush=True)
    passed = sum(1 for _, _, ok in points if ok)
    print("   s11 SIGTERM points: ms after start (* = before info.tab existed), exit status, what the save left",
          flush=True)
    items = []
    for ms, rc, f, ok, unopened in term:
        st = short.get(f["state"], f["state"])
        if f["state"] in ("incomplete", "complete"):
            st += " %d/%d" % (f["archived"], f["changed"])
        items.append("%5.0f%s %3s %-13s%s" % (ms, "*" if unopened else " ", rc, st, "" if ok else "!"))
    for i in range(0, len(items), 5):
        print("    " + "  ".join(items[i:i + 5]), flush=True)
    term_passed = sum(1 for _, _, _, ok, _ in term if ok)
    states = defaultdict(int)
    for _, f, _ in points:
        states[f["state"]] += 1
    early = [f for _, f, _ in points if f["state"] in ("none", "no info.tab")]
    note = "" if early else ", no kill landed before info.tab"
    term_states = defaultdict(int)
    for _, rc, f, _, unopened in term:
        term_states["%s%s %s" % ("before info.tab: " if unopened else "", rc, f["state"])] += 1
    record("s11", not fails and passed == rounds and term_passed == term_rounds,
           "%d/%d SIGKILL rounds passed, %.1fs; save alone %s ms%s; kills over 0-%.0f ms left %s, "
           "a key-less last record in %d; kills before info.tab changed nothing: %s%s; "
           "%d/%d SIGTERM rounds over 0-%.0f ms passed, %s %s"
           % (passed, rounds, time.time() - t_all, "/".join("%.0f" % (x * 1000) for x in lengths), watched,
              reach * 1000, dict(states), blanks, all(f["changed"] == 0 for f in early), note,
              term_passed, term_rounds, 0.1 * length * 1000, dict(term_states), fails[:5]))


SCEN["s11"] = s11


def s12(rounds=int(os.environ.get("S12_ROUNDS", "60"))):
    """Kill test of the restore: a restore of a complete archive SIGKILLed at moments spread over
    its whole length. After every kill each table passes the integrity check, no record lock is
    left (a restore with the stop policy finishes), and that restore puts every document back."""
    d, g = seed("s12", docs=300, s=120)
    before = snapshot(d)
    rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", "unlock", "--name", "s12"))
    if rc != 0:
        record("s12", False, "setup save rc=%s %s" % (rc, err[-300:]))
        return
    n = out.strip()
    lengths = []
    for _ in range(4):
        t = time.time()
        r = run([tool("vorlend-batch"), "restore", *g, "--archive", n, "--quiet"])
        lengths.append(time.time() - t)
        if r.returncode != 0:
            record("s12", False, "uninterrupted restore rc=%s %s" % (r.returncode, r.stderr[-300:]))
            return
    # The first restore changes every document back; the later ones, which the rounds repeat,
    # write the same values and are what the kill points must spread over.
    length = min(lengths[1:])
    rng = random.Random(12)
    fails, points, t_all = [], [], time.time()
    for i in range(rounds):
        # The restore writes every archived document whatever its state, so each round does the
        # same writes as the first.
        p = batch(g, "restore", "--archive", n, "--quiet")
        delay = length * 0.95 * (i + rng.random()) / rounds
        time.sleep(delay)
        p.send_signal(signal.SIGKILL)
        rc, _, _ = finish(p, timeout=30)
        points.append("%d%s" % (delay * 1000, "" if rc == -9 else "(done)"))
        bad = tables_check(d, n)
        bad += restore_back(d, g, n, before)
        if bad:
            fails.append("round %d at %d ms: %s" % (i, delay * 1000, bad[:3]))
    print("   s12 kill points, ms after start ((done): the restore had finished):", flush=True)
    for i in range(0, len(points), 10):
        print("    " + "  ".join(points[i:i + 10]), flush=True)
    inside = sum(1 for x in points if not x.endswith("(done)"))
    record("s12", not fails, "%d/%d restore kills passed (%d of them in mid-restore), %.1fs; restore alone %s ms %s"
           % (rounds - len(fails), rounds, inside, time.time() - t_all, "/".join("%d" % (x * 1000) for x in lengths),
              fails[:3]))


SCEN["s12"] = s12

def s13():
    """An archive's life beside other users: (a) a deletion tried again and again while the
    archive is restored is refused until the restore ends, and the restore puts every document
    back; (b) `restore --delete-after` while another user deletes that archive and saves a new
    one: the new archive is never deleted, and a restore that ran put every document back; (c)
    two restores of one archive at once both finish, and the archive stays."""
    t0, bad, facts = time.time(), [], []
    d, g = seed("s13", docs=3000, s=131)
    before = snapshot(d)

    def save(name, action="unlock"):
        rc, out, err = finish(batch(g, "save", "--modules", "all", "--action", action, "--name", name))
        assert rc == 0, err
        return out.strip()

    def names():
        p = run([tool("vorlend-batch"), "list", *g])
        return [tuple(l.split("\t")[:3]) for l in p.stdout.splitlines()]

    def held(n):
        """True while some process holds archive n's directory lock."""
        try:
            fd = os.open(archive_dir(d, n), os.O_RDONLY | os.O_DIRECTORY)
        except OSError:
            return False
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return False
        except BlockingIOError:
            return True
        finally:
            os.close(fd)

    # (a) another user edits a document for two seconds, so the restore waits on it
    n = save("a")
    label, path, key, _ = money_tables(d)[-1]
    holder = subprocess.Popen([tool("tablectl"), "hold", path, "--index", key, "--key", str(max(before[label]))],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    pr = batch(g, "restore", "--archive", n, "--on-conflict", "retry=30")
    while pr.poll() is None and not held(n):
        time.sleep(0.002)
    refused = deleted_while_running = 0
    t_hold = time.time()
    while pr.poll() is None:
        if holder.poll() is None and time.time() - t_hold > 2:
            holder.stdin.close()
            holder.wait()
        r = run([tool("vorlend-batch"), "delete", *g, "--archive", n])
        if pr.poll() is None:
            if r.returncode == 0:
                deleted_while_running += 1
            elif "právě pracuje jiný uživatel" in r.stderr:
                refused += 1
        time.sleep(0.02)
    if holder.poll() is None:
        holder.stdin.close()
        holder.wait()
    rc, _, err = finish(pr)
    if rc != 0 or deleted_while_running:
        bad.append("(a) restore rc=%s, deletions during it %d %s" % (rc, deleted_while_running, err[-200:]))
    elif changed_docs(before, snapshot(d)):
        bad.append("(a) documents differ after the restore")
    facts.append("(a) %d deletions refused" % refused)
    run([tool("vorlend-batch"), "delete", *g, "--archive", n])

    # (b)
    before = snapshot(d)
    n = save("orig")
    pr = batch(g, "restore", "--archive", n, "--delete-after", "--on-conflict", "retry=30")
    time.sleep(0.05 * (1 + random.Random(13).random()))
    rd = run([tool("vorlend-batch"), "delete", *g, "--archive", n])
    # saved on purpose while that archive may still be restored
    rs = run([tool("vorlend-batch"), "save", *g, "--modules", "all", "--action", "none", "--name", "other", "--force"])
    rc, _, err = finish(pr)
    listed = names()
    if rs.returncode != 0 or not any(x[2] == "other" for x in listed):
        bad.append("(b) the other user's archive is gone: save rc=%s, listed %s" % (rs.returncode, listed))
    if rc == 0 and changed_docs(before, snapshot(d)):
        bad.append("(b) the restore ended 0 but documents differ")
    if rc == 0 and rd.returncode == 0:
        bad.append("(b) both the restore and the other user's deletion of its archive succeeded")
    if rc == 0 and any(x[2] == "orig" for x in listed):
        bad.append("(b) the restored archive was not deleted after it: %s" % listed)
    facts.append("(b) restore rc=%s, other delete rc=%s" % (rc, rd.returncode))
    for x in listed:
        run([tool("vorlend-batch"), "delete", *g, "--archive", x[0]])

    # (c)
    base = snapshot(d)
    n = save("c")
    ps = [batch(g, "restore", "--archive", n, "--on-conflict", "retry=30") for _ in range(2)]
    res = [finish(p) for p in ps]
    if any(r[0] != 0 for r in res):
        bad.append("(c) restores rc %s %s" % ([r[0] for r in res], [r[2][-200:] for r in res]))
    if changed_docs(base, snapshot(d)):
        bad.append("(c) documents differ after two restores")
    if (n, "complete") not in listing(g):
        bad.append("(c) the archive is no longer listed: %s" % listing(g))
    bad += tables_check(d)
    record("s13", not bad, "%.1fs, %s %s" % (time.time() - t0, "; ".join(facts), bad[:4]))


SCEN["s13"] = s13


def s14(rounds=6):
    """Two saves of the same tables started at the same instant, neither told to go on beside
    another archive: exactly one runs, the other ends 1 having made nothing, refused because the
    first is running or, if that one has already finished, because its archive still waits for
    its restore. The restore of the one archive puts every document back."""
    t0, fails, seen = time.time(), [], defaultdict(int)
    d, g = seed("s14", docs=1500, s=141)
    before = snapshot(d)
    for r in range(rounds):
        ps = [batch(g, "save", "--modules", "all", "--action", "unlock", "--name", "s14-%d-%d" % (r, i)) for i in range(2)]
        res = [finish(p) for p in ps]
        won = [x for x in res if x[0] == 0]
        lost = [x for x in res if x[0] != 0]
        if len(won) != 1 or len(lost) != 1 or lost[0][0] != 1:
            fails.append("round %d rc %s %s" % (r, [x[0] for x in res], [x[2].strip()[-200:] for x in res]))
            for n, _ in listing(g):
                run([tool("vorlend-batch"), "restore", *g, "--archive", n, "--delete-after", "--force"])
            continue
        n, err = won[0][1].strip(), lost[0][2]
        if "se právě ukládá" in err:
            seen["running"] += 1
        elif "obsahuje stejné tabulky a jeho obnovení by ještě změnilo zámky" in err:
            seen["pending"] += 1
        else:
            fails.append("round %d refused for another reason: %r" % (r, err.strip()[-300:]))
        if lost[0][1].strip():
            fails.append("round %d the refused save printed %r" % (r, lost[0][1].strip()))
        if db_dirs(d) != [n] or listing(g) != [(n, "complete")]:
            fails.append("round %d archive %s, directories %s, listed %s" % (r, n, db_dirs(d), listing(g)))
        arch = read_archive(d, n)
        fails += ["round %d %s" % (r, x) for x in check_archive_complete(before, arch)]
        wrong = [(l, k, v) for l, recs in arch.items() for k, v in recs if before[l].get(k) != v]
        locked = [(l, k) for l, docs in snapshot(d).items() for k, v in docs.items() if v != "0"]
        if wrong or locked:
            fails.append("round %d archived unlike before %s, still locked %s" % (r, wrong[:3], locked[:3]))
        fails += ["round %d %s" % (r, x) for x in restore_back(d, g, n, before, delete_after=True)]
        if listing(g):
            fails.append("round %d left %s" % (r, listing(g)))
    record("s14", not fails, "%d rounds %.1fs, second save refused as %s %s"
           % (rounds, time.time() - t0, dict(seen), fails[:4]))


SCEN["s14"] = s14


def s15():
    """Archives saved one after another: a save beside a complete archive of the same tables whose
    restore would still change documents is refused without --force; the older archive's restore
    is refused while the newer exists and changes nothing; newest first, both restores put every
    document back. Archives of other tables are independent. Forced, the older one restores out of
    turn."""
    t0, bad, facts = time.time(), [], []
    d, g = seed("s15", docs=1000, s=151)

    def job(*args):
        return run([tool("vorlend-batch"), args[0], *g, *args[1:]])

    def codes(mods):
        return None if mods == "all" else mods.split(",")

    # (A's modules, B's modules, B's action): the same tables, some of them, none of them
    pairs = [("all", "all", "unlock"), ("PD,BD,OP", "OP,ID", "lock"), ("PD,BD", "ID,PF", "unlock")]
    for i, (ma, mb, act) in enumerate(pairs):
        tag = "pair %d (%s / %s)" % (i, ma, mb)
        shared = ma == "all" or mb == "all" or set(ma.split(",")) & set(mb.split(","))
        before = snapshot(d)
        ra = job("save", "--modules", ma, "--action", "unlock", "--name", "A%d" % i)
        if ra.returncode != 0:
            bad.append("%s: A's save rc=%s %s" % (tag, ra.returncode, ra.stderr.strip()[-200:]))
            break
        na, after_a = ra.stdout.strip(), snapshot(d)
        rb = job("save", "--modules", mb, "--action", act, "--name", "B%d" % i)
        if shared:
            if rb.returncode != 1 or "--force" not in rb.stderr or "obsahuje stejné tabulky" not in rb.stderr:
                bad.append("%s: B's save beside A rc=%s %r" % (tag, rb.returncode, rb.stderr.strip()[-200:]))
            if db_dirs(d) != [na] or changed_docs(after_a, snapshot(d)):
                bad.append("%s: the refused save left %s or changed documents" % (tag, db_dirs(d)))
            rb = job("save", "--modules", mb, "--action", act, "--name", "B%d" % i, "--force")
        if rb.returncode != 0:
            bad.append("%s: B's save rc=%s %s" % (tag, rb.returncode, rb.stderr.strip()[-200:]))
            break
        nb, mid = rb.stdout.strip(), snapshot(d)
        wrong = [(l, k) for l, recs in read_archive(d, nb, codes(mb)).items() for k, v in recs if after_a[l][k] != v]
        if wrong:
            bad.append("%s: B archived states other than A's save left, e.g. %s" % (tag, wrong[:3]))
        if shared:
            r = job("restore", "--archive", na, "--delete-after")
            if r.returncode != 1 or "je novější než archiv" not in r.stderr or \
                    "Archivy se obnovují od nejnovějšího" not in r.stderr or "--force" not in r.stderr:
                bad.append("%s: A's restore before B's rc=%s %r" % (tag, r.returncode, r.stderr.strip()[-200:]))
            if changed_docs(mid, snapshot(d)) or sorted(listing(g)) != sorted([(na, "complete"), (nb, "complete")]):
                bad.append("%s: the refused restore changed documents or archives: %s" % (tag, listing(g)))
            order = [nb, na]
        else:
            order = [na, nb]  # the older first: nothing of it is in the newer one
        for n in order:
            r = job("restore", "--archive", n, "--delete-after")
            if r.returncode != 0:
                bad.append("%s: restore of %s rc=%s %s" % (tag, n, r.returncode, r.stderr.strip()[-200:]))
        diff = changed_docs(before, snapshot(d))
        if diff or listing(g):
            bad.append("%s: %d documents differ from before A's save, e.g. %s, left %s" % (tag, len(diff), diff[:3], listing(g)))
        facts.append("%s %s/%s" % ("shared" if shared else "disjoint", na, nb))

    # out of turn, forced: the older archive's states are what the documents get
    ra = job("save", "--modules", "all", "--action", "unlock", "--name", "A")
    rb = job("save", "--modules", "all", "--action", "lock", "--name", "B", "--force")
    na, nb = ra.stdout.strip(), rb.stdout.strip()
    r = job("restore", "--archive", na, "--force")
    now = snapshot(d)
    wrong = [(l, k) for l, recs in read_archive(d, na).items() for k, v in recs if now[l][k] != v]
    if ra.returncode or rb.returncode or r.returncode or wrong:
        bad.append("forced restore out of turn: rc %s/%s/%s %s, differ from A %s"
                   % (ra.returncode, rb.returncode, r.returncode, r.stderr.strip()[-200:], wrong[:3]))
    for n in (nb, na):
        job("delete", "--archive", n)
    if listing(g):
        bad.append("left %s" % listing(g))
    bad += tables_check(d)
    record("s15", not bad, "%.1fs, %s %s" % (time.time() - t0, "; ".join(facts), bad[:4]))


SCEN["s15"] = s15

# The bounded, deterministic part that CI runs (fixed seeds; a few minutes on 2 cores): another
# user flipping documents during a save, two saves at once told to go on beside each other and
# two not told so, a save beside a restore, the pile-up, an archive's life beside other users,
# archives restored newest first, and the kill tests of the save (55 kill points, with the
# recovery of its incomplete archive, and 10 stops) and of the restore (60 kill points).
CI = {"s1": SCEN["s1"], "s2a": SCEN["s2a"], "s3": SCEN["s3"], "s8": SCEN["s8"], "s13": SCEN["s13"],
      "s14": SCEN["s14"], "s15": SCEN["s15"],
      "s11": lambda: s11(rounds=55, term_rounds=10), "s12": lambda: s12(rounds=60)}

if __name__ == "__main__":
    T0 = time.time()
    scenarios = SCEN
    chosen = ONLY or list(SCEN)
    if chosen == ["ci"]:
        scenarios = CI
        chosen = list(CI)
    for k in chosen:
        t = time.time()
        try:
            scenarios[k]()
        except Exception as e:
            import traceback
            traceback.print_exc()
            record(k, False, "driver exception %r" % e)
        print("   (%s took %.1fs)" % (k, time.time() - t), flush=True)
    print("total %.1fs; failed: %s" % (time.time() - T0, [r[0] for r in RESULTS if not r[1]]))
