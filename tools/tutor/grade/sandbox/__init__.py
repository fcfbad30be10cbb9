"""The grader's sandboxes: each runs a submission's steps as a user of its own (users.py), in a
control group with memory, process and processor limits (limits.py), on a disk (disk.py) and an X
display (display.py) of its own, with no network, no system call that makes a namespace or reaches
deeper into the kernel (syscalls.py), and nothing of the host's but the system read-only and what
the build needs (bwrap.py). boxes.py runs them, each limit proved before the first submission
runs; leftovers.py finds what a killed run left, by the run's id, and removes it once that run is
gone.
"""
