#!/usr/bin/env bash
# Runs the workflow through a real Slurm: starts a one-node cluster on this machine
# (munged, slurmctld and slurmd, listening on the loopback address only, their
# configuration, state, logs and pids in a temporary folder), submits the workflow
# with the cluster command given in workflow/README.md on three small inputs with
# a planted motif (one gzip'd), and checks
#  1. that every discovery job ran as a Slurm job that completed: each job id
#     Snakemake got from sbatch is in Slurm's job completion file as COMPLETED
#     and has its own sbatch log, and the gathering alone ran locally;
#  2. that the gathered summary is right: one row per motif each discovery
#     reports, and the planted motif is the top motif of every input.
# Installs slurm-wlm and munge with apt-get when they are missing (needs root).
# Usage: run_slurm_test.sh [KALVO]   (default: build/app/cli/kalvo)
# Exit status: 0 passed, 1 failed, 77 skipped: Slurm cannot run here (the
# reason is printed on a line starting with "SKIPPED:").
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
kalvo="$(realpath "${1:-$root/build/app/cli/kalvo}")"
snakefile="$root/workflow/Snakefile"

say() { echo "slurm test: $*"; }
fail() { echo "slurm test FAILED: $*" >&2; exit 1; }
skip() { echo "SKIPPED: the Slurm workflow test did not run because $*"; exit 77; }

# The cluster command of workflow/README.md, word for word; checked against it below.
cluster='sbatch --parsable --job-name=kalvo-{wildcards.name} --cpus-per-task={threads} --mem={resources.mem_mb} --time={resources.runtime} --output={CLUSTER_LOGS}/{wildcards.name}-{wildcards.widthset}-%j.out'

[ -x "$kalvo" ] || fail "no kalvo program at $kalvo"
command -v snakemake >/dev/null || fail "snakemake is not installed"
grep -qF -- "--cluster \"$cluster\"" "$root/workflow/README.md" \
  || fail "workflow/README.md does not give the cluster command this test submits with: --cluster \"$cluster\""

[ "$(id -u)" -eq 0 ] || skip "it is not run as root: munged, slurmctld and slurmd must start as root"

missing=()
for tool in munged slurmctld slurmd sbatch; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
  say "installing slurm-wlm and munge (missing: ${missing[*]})"
  if ! { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends slurm-wlm munge; } >/tmp/kalvo-slurm-apt.log 2>&1; then
    tail -n 5 /tmp/kalvo-slurm-apt.log
    skip "apt-get could not install slurm-wlm and munge (log: /tmp/kalvo-slurm-apt.log)"
  fi
fi

host="$(hostname -s)"
# slurmctld binds to the address its host name resolves to: it must be a loopback one.
host_address="$(getent ahostsv4 "$host" | awk 'NR == 1 { print $1 }')"
case "$host_address" in
  127.*) ;;
  *) skip "the host name '$host' resolves to '${host_address:-nothing}', not a loopback address, so Slurm would listen beyond this machine" ;;
esac

tmp="$(mktemp -d /tmp/kalvo-slurm.XXXXXX)"
# The daemons and the jobs (run as root) need to reach into the folder.
chmod 755 "$tmp"
mkdir -p "$tmp/munge-key" "$tmp/munge-run" "$tmp/pids" "$tmp/log" "$tmp/state" "$tmp/spool" "$tmp/work"
chmod 700 "$tmp/munge-key"
chmod 755 "$tmp/munge-run"

stop_cluster() {
  local status=$?
  if [ -n "${SLURM_CONF:-}" ] && [ -s "$tmp/pids/slurmctld.pid" ]; then
    scancel --quiet --user=root --partition=kalvo >/dev/null 2>&1 || true
  fi
  local daemon pid
  for daemon in slurmd slurmctld munged; do
    pid="$(cat "$tmp/pids/$daemon.pid" 2>/dev/null || true)"
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
    fi
  done
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    for log in "$tmp"/log/*.log; do
      [ -s "$log" ] && { echo "--- last lines of $(basename "$log")"; tail -n 15 "$log"; } >&2
    done
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap stop_cluster EXIT
trap 'exit 1' INT TERM

# Free ports on the loopback address for slurmctld and slurmd.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in socks))')

say "starting munged, slurmctld and slurmd in $tmp (node $host, 127.0.0.1 ports $ctld_port, $slurmd_port)"
dd if=/dev/urandom of="$tmp/munge-key/munge.key" bs=1024 count=1 status=none
chmod 600 "$tmp/munge-key/munge.key"
munged --socket="$tmp/munge-run/munge.socket" --key-file="$tmp/munge-key/munge.key" \
  --pid-file="$tmp/pids/munged.pid" --log-file="$tmp/log/munged.log" \
  --seed-file="$tmp/munge-key/munged.seed" 2>"$tmp/log/munged.err" \
  || skip "munged did not start: $(tail -n 1 "$tmp/log/munged.err")"

cpus="$(nproc)"
cat > "$tmp/slurm.conf" <<EOF
# One-node cluster for the workflow test: loopback only, no cgroups, no accounting database.
ClusterName=kalvotest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
CommunicationParameters=NoInAddrAny,NoCtldInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge-run/munge.socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/pids/slurmctld.pid
SlurmdPidFile=$tmp/pids/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$tmp/jobcomp.txt
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=1000 State=UNKNOWN
PartitionName=kalvo Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$tmp/slurm.conf"

slurmctld -c -i 2>"$tmp/log/slurmctld.err" \
  || skip "slurmctld did not start: $(tail -n 1 "$tmp/log/slurmctld.err") $(tail -n 2 "$tmp/log/slurmctld.log" 2>/dev/null)"
slurmd -N "$host" 2>"$tmp/log/slurmd.err" \
  || skip "slurmd did not start: $(tail -n 1 "$tmp/log/slurmd.err") $(tail -n 2 "$tmp/log/slurmd.log" 2>/dev/null)"

state=""
for _ in $(seq 60); do
  state="$(sinfo --noheader --nodes="$host" --format=%T 2>/dev/null || true)"
  [ "$state" = "idle" ] && break
  sleep 1
done
[ "$state" = "idle" ] \
  || skip "the Slurm node did not become idle within 60 s (state '${state:-none}'); slurmd log: $(tail -n 3 "$tmp/log/slurmd.log" 2>/dev/null | tr '\n' ' ')"
if command -v ss >/dev/null; then
  listening="$(ss -ltnpH 2>/dev/null | grep -E '"(slurmctld|slurmd|munged)"' | awk '{ print $4 }' || true)"
  say "listening: $(echo $listening)"
  if echo "$listening" | grep -qvE '^(127\.[0-9.]+|\[::1\]):[0-9]+$'; then
    fail "a Slurm daemon listens beyond the loopback address: $(echo $listening)"
  fi
fi
say "node $host is idle; submitting the workflow"

cd "$tmp/work"
python3 "$root/workflow/scripts/make_planted_inputs.py" in 3 20 150 3
gzip in/planted03.fa
cat > slurm.yaml <<EOF
inputs: [in/planted01.fa, in/planted02.fa, in/planted03.fa.gz]
widths: ["12,16"]
restarts: 2
iterations: 100
motifs: 2
seed: 7
kalvo: $kalvo
threads: 2
mem_mb: 200
runtime: 5
results: results
EOF

start=$SECONDS
if ! snakemake -s "$snakefile" --configfile slurm.yaml \
     --jobs 20 --latency-wait 60 --keep-going --cluster-cancel scancel \
     --cluster "$cluster" > snakemake.log 2>&1; then
  cat snakemake.log >&2
  for out in results/logs/cluster/*.out; do
    [ -f "$out" ] && { echo "--- $out"; cat "$out"; } >&2
  done
  fail "the workflow failed under Slurm"
fi
say "workflow finished in $((SECONDS - start)) s"

# Job ids Snakemake got back from sbatch, one per submitted job.
mapfile -t ids < <(sed -nE "s/.*with external jobid '([0-9]+)'.*/\1/p" snakemake.log)
say "sbatch job ids: ${ids[*]:-none}"
say "Slurm's record of the jobs:"
cat "$tmp/jobcomp.txt" 2>/dev/null | sed -E 's/.*(JobId=[0-9]+) .*(Name=[^ ]+) (JobState=[A-Z_]+) .*(StartTime=[^ ]+) (EndTime=[^ ]+) (NodeList=[^ ]+) .*(ExitCode=[0-9:]+).*/  \1 \2 \3 \6 \4 \5 \7/'
if sacct_out="$(sacct --noheader --jobs="$(IFS=,; echo "${ids[*]}")" --format=JobID,JobName,State,ExitCode 2>&1)"; then
  say "sacct:"; echo "$sacct_out"
else
  say "sacct is not available here ($sacct_out); the job completion file above is Slurm's record"
fi

python3 - "$tmp/jobcomp.txt" "${ids[@]}" <<'EOF' || fail "not every job ran through Slurm"
import glob, re, sys

jobcomp, ids = sys.argv[1], sys.argv[2:]
names = ["planted01", "planted02", "planted03"]
errors = []
records = {}
for line in open(jobcomp):
    fields = dict(re.findall(r"(\w+)=(\S*)", line))
    records[fields.get("JobId")] = fields
if len(ids) != len(names) or len(set(ids)) != len(ids):
    errors.append(f"{len(ids)} Slurm submissions for {len(names)} discovery jobs: {ids}")
for jobid in ids:
    rec = records.get(jobid)
    if rec is None:
        errors.append(f"job {jobid} is not in Slurm's job completion file")
    elif rec.get("JobState") != "COMPLETED" or rec.get("ExitCode") != "0:0":
        errors.append(f"job {jobid}: {rec.get('JobState')} with exit code {rec.get('ExitCode')}")
    logs = glob.glob(f"results/logs/cluster/*-{jobid}.out")
    if len(logs) != 1:
        errors.append(f"job {jobid}: sbatch logs {logs}")
submitted = sorted(rec.get("Name", "") for jobid, rec in records.items() if jobid in ids)
if submitted != [f"kalvo-{n}" for n in names]:
    errors.append(f"the Slurm jobs are {submitted}, not one discovery per input")
if errors:
    sys.exit("\n".join(errors))
EOF

say "summary.tsv:"
sed 's/^/  /' results/summary.tsv
python3 - <<'EOF' || fail "the gathered summary is wrong"
import csv, json, sys

PLANTED = "TGTGATCTAGATCACA"
PLANTED_RC = PLANTED.translate(str.maketrans("ACGT", "TGCA"))[::-1]
rows = list(csv.DictReader(open("results/summary.tsv"), delimiter="\t"))
errors = []
expected = []
for name in ("planted01", "planted02", "planted03"):
    summary = json.load(open(f"results/{name}/w12-16/summary.json"))
    expected += [(name, str(m["rank"]), m["consensus"], str(m["sites"])) for m in summary["motifs"]]
    top = [r for r in rows if r["input"] == name and r["rank"] == "1"]
    # The planted motif, or all but a base or two of it, on either strand.
    if len(top) != 1 or not any(top[0]["consensus"][i:i + 10] in PLANTED + " " + PLANTED_RC
                                for i in range(len(top[0]["consensus"]) - 9)):
        errors.append(f"{name}: the top motif is not the planted one: {top}")
got = [(r["input"], r["rank"], r["consensus"], r["sites"]) for r in rows]
if got != expected:
    errors.append(f"rows {got} instead of the reported motifs {expected}")
if any(int(r["sites"]) == 0 for r in rows):
    errors.append("a motif without sites is listed")
for name in ("planted01", "planted02", "planted03"):
    if f'href="{name}/w12-16/index.html"' not in open("results/index.html").read():
        errors.append(f"index.html does not link the discovery of {name}")
if errors:
    sys.exit("\n".join(errors))
EOF

say "passed"
