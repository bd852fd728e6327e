"""Learning-rate schedule shared by the two trainers."""


def decay(args, steps_done, seconds_done):
    """Learning-rate factor: 1 at the start of this run, falling linearly to
    args.final_lr at the end of its budget (args.steps if given, else
    args.minutes)."""
    done = steps_done / args.steps if args.steps else seconds_done / (60 * args.minutes)
    return max(args.final_lr, 1 - (1 - args.final_lr) * min(done, 1.0))
