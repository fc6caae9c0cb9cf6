"""Command line of one per-structure step, run by the workflow's rules:

  screen_step.py prepare   CONFIG_JSON CIF WORKDIR OUT_JSON
  screen_step.py landscape CONFIG_JSON PREPARE_JSON FIRST_JSON|- DRAW WORKDIR OUT_JSON OUT_CUBE
  screen_step.py analysis  CONFIG_JSON PREPARE_JSON LANDSCAPE_JSON CUBE WORKDIR OUT_JSON
  screen_step.py kmc       CONFIG_JSON PREPARE_JSON LANDSCAPE_JSON CUBE WORKDIR OUT_JSON

The programs run with KELMAR_THREADS as the workflow engine set it (the job's threads).

The exit status is 0 whenever the record was written, whatever it says about the structure.
"""

import json
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screen_steps  # noqa: E402


def _interrupted(signum, _frame):
    # the workflow engine stops a job with SIGTERM: unwind so that the running program is killed too
    sys.exit(128 + signum)


def main(argv):
    signal.signal(signal.SIGTERM, _interrupted)
    signal.signal(signal.SIGHUP, _interrupted)
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    step, cfg, args = argv[1], json.loads(argv[2]), argv[3:]
    if step == "prepare" and len(args) == 3:
        screen_steps.prepare(args[0], args[1], args[2], cfg)
    elif step == "landscape" and len(args) == 6:
        screen_steps.landscape(args[0], "" if args[1] == "-" else args[1], int(args[2]), args[3], args[4],
                               args[5], cfg)
    elif step == "analysis" and len(args) == 5:
        screen_steps.analyse(args[0], args[1], args[2], args[3], args[4], cfg)
    elif step == "kmc" and len(args) == 5:
        screen_steps.kmc(args[0], args[1], args[2], args[3], args[4], cfg)
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
