#!/bin/sh
# Runs a test program under an X server of its own (Xvfb picks a free display number)
# on Qt's xcb platform, with fresh settings and runtime folders; stops the server.
dir=$(mktemp -d) || exit 1
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$dir/display" 2>"$dir/xvfb.log" &
server=$!
n=0
while [ ! -s "$dir/display" ] && [ $n -lt 200 ]; do
  sleep 0.05
  n=$((n + 1))
done
if [ ! -s "$dir/display" ]; then
  echo "Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  kill $server 2>/dev/null
  rm -rf "$dir"
  exit 1
fi
mkdir -p "$dir/config" "$dir/runtime"
chmod 700 "$dir/runtime"
DISPLAY=":$(head -n 1 "$dir/display")" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$dir/config" \
  XDG_RUNTIME_DIR="$dir/runtime" "$@"
rc=$?
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -rf "$dir"
exit $rc
