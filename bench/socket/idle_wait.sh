#!/bin/sh
# Processor time of a process whose wait lasts 10 s with no reply.
# Usage: idle_wait.sh path/to/cvb-bench-idle-wait [seconds]
set -eu
prog=$1
seconds=${2:-10}
/usr/bin/time -f "whole process: %e s elapsed, %U s user, %S s system, %P of one core" "$prog" "$seconds"
