#!/bin/sh
# Runs one test process. The leak checker that runs at exit sometimes crashes inside its
# own thread walk ("Tracer caught signal 11") after every test has passed; that crash is
# the checker's, not a leak or a failure of ours, so such a run is repeated once. Any
# other failure, a leak report included, stands as it is.
case " $* " in
  *" --gtest_list_tests "*) exec "$@" ;;
esac
out=$(mktemp) || exec "$@"
"$@" >"$out" 2>&1
rc=$?
if [ "$rc" -ne 0 ] && grep -q "Tracer caught signal" "$out" && grep -q "PASSED" "$out" \
   && ! grep -q "ERROR: LeakSanitizer: detected memory leaks" "$out"; then
  cat "$out"
  echo "run-test: the leak checker crashed in its own thread walk; running again"
  "$@" >"$out" 2>&1
  rc=$?
fi
cat "$out"
rm -f "$out"
exit "$rc"
