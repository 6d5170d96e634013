#!/bin/sh
# The strip of the package's programs, as Debian's own packaging tools strip them: the
# debugging symbols, and the compiler's notes that nothing at run time reads.
exec strip --remove-section=.comment --remove-section=.note "$@"
