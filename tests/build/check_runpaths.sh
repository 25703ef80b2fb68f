#!/bin/sh
# Fails when a program or library in the build's bin folder has a RUNPATH with an empty entry:
# the loader reads an empty entry as the current folder, so a library planted there would load.
status=0
for f in "$1"/*; do
    [ -f "$f" ] || continue
    runpath=$(readelf -d "$f" 2>/dev/null | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ -n "$runpath" ] || continue
    case ":$runpath:" in
    *::*)
        echo "empty RUNPATH entry in $f: $runpath"
        status=1
        ;;
    esac
done
exit $status
