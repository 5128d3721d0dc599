#!/usr/bin/env bash
# One step of the Windows tests, run by CTest (see WineTests.cmake for the list).
#   run_wine.sh build|exports|resources|prefix|register|events|latebound|precision|vbscript|jscript|outputs|display|render|mouse|draw|unregister|stop-prefix
# Every Windows program's output is captured to a file under $QELV_WINE_WORK and
# checked; a program's exit status alone is not trusted (cscript exits 0 after a
# script error), so test programs must end with "N passed, 0 failed".
set -uo pipefail
step=$1
work=$QELV_WINE_WORK
mkdir -p "$work/output"
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
bin=$QELV_CROSS_DIR/bin

# A Linux path as Wine sees it on drive Z:.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

fail() {
  echo "FAILED: $*"
  exit 1
}

# Runs a Windows program with its output captured to output/<name>.txt and shown.
capture() {
  local name=$1
  shift
  local log=$work/output/$name.txt
  timeout 120 wine "$@" >"$log" 2>"$work/output/$name.stderr.txt"
  local status=$?
  tr -d '\r' <"$log" >"$log.tmp" && mv "$log.tmp" "$log"
  cat "$log"
  return $status
}

# Requires the captured output to end with "N passed, 0 failed" (N > 0), printed once.
require_tally() {
  local log=$work/output/$1.txt
  local last tallies
  tallies=$(grep -cE '^[0-9]+ passed, [0-9]+ failed$' "$log")
  [ "$tallies" = 1 ] || fail "$1 printed $tallies result lines (see $log)"
  last=$(grep -v '^[[:space:]]*$' "$log" | tail -n 1)
  [[ $last =~ ^[1-9][0-9]*\ passed,\ 0\ failed$ ]] || fail "$1 ended with \"$last\" (see $log and $1.stderr.txt)"
}

case $step in
build)
  "$CMAKE_COMMAND" -S "$QELV_SOURCE_DIR" -B "$QELV_CROSS_DIR" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$QELV_SOURCE_DIR/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$work/output/cross-configure.txt" 2>&1 \
    || { cat "$work/output/cross-configure.txt"; fail "configure"; }
  "$CMAKE_COMMAND" --build "$QELV_CROSS_DIR" -j2 || fail "cross build"
  for f in QelvSonalter2.dll QelvArrayHelper.dll qelv-win-host.exe qelv-mouse-test.exe sonalter-draw.exe; do
    [ -f "$bin/$f" ] || fail "missing $bin/$f"
  done
  ;;
exports)
  "$QELV_OBJDUMP" -p "$bin/QelvSonalter2.dll" >"$work/output/exports.txt" || fail "objdump"
  # The names listed after the "[Ordinal/Name Pointer] Table" heading.
  names=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' \
    "$work/output/exports.txt" | sort | tr '\n' ' ')
  echo "exports: $names"
  [ "$names" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] \
    || fail "unexpected export table"
  # Nothing but system DLLs are imported (the runtime is linked statically).
  imports=$(grep 'DLL Name:' "$work/output/exports.txt" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
  echo "imports: $imports"
  for dll in $imports; do
    case $dll in ADVAPI32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|USER32.DLL) ;;
      *) fail "imports $dll" ;;
    esac
  done
  ;;
prefix)
  "$QELV_WINESERVER" -k 2>/dev/null
  rm -rf "$WINEPREFIX"
  wineboot -i >"$work/output/wineboot.txt" 2>&1 || { cat "$work/output/wineboot.txt"; fail "wineboot"; }
  "$QELV_WINESERVER" -w
  [ -f "$WINEPREFIX/system.reg" ] || fail "no prefix made"
  ;;
stop-prefix)
  "$QELV_WINESERVER" -k 2>/dev/null
  exit 0
  ;;
register)
  capture regsvr32 regsvr32 /s "$(winpath "$bin/QelvSonalter2.dll")" || fail "regsvr32 QelvSonalter2.dll"
  capture regsvr32-helper regsvr32 /s "$(winpath "$bin/QelvArrayHelper.dll")" || fail "regsvr32 QelvArrayHelper.dll"
  capture registry "$bin/qelv-win-host.exe" registry "$(winpath "$bin/QelvSonalter2.dll")"
  require_tally registry
  ;;
unregister)
  capture unregsvr32 regsvr32 /u /s "$(winpath "$bin/QelvSonalter2.dll")" || fail "regsvr32 /u"
  capture unregistered "$bin/qelv-win-host.exe" unregistered
  require_tally unregistered
  ;;
resources)
  capture resources "$bin/qelv-win-host.exe" resources "$(winpath "$bin/QelvSonalter2.dll")"
  require_tally resources
  # The Linux module carries the same resources.
  "$QELV_LINUX_HOST" resources "$QELV_LINUX_MODULE" | tee "$work/output/resources-linux.txt"
  require_tally resources-linux
  ;;
events | latebound)
  capture "$step" "$bin/qelv-win-host.exe" "$step"
  require_tally "$step"
  ;;
precision)
  capture precision "$bin/qelv-win-host.exe" precision
  require_tally precision
  # The Linux module under the same thread settings, in a registry file of its own.
  export QELV_REGISTRY=$work/linux-registry-$step
  rm -f "$QELV_REGISTRY"
  "$QELV_LINUX_HOST" register "$QELV_LINUX_MODULE" || fail "registering the Linux module"
  "$QELV_LINUX_HOST" precision | tee "$work/output/precision-linux.txt"
  require_tally precision-linux
  ;;
vbscript)
  capture vbscript cscript //nologo "$(winpath "$QELV_TESTS_DIR/scripts/Sonalter2Test.vbs")"
  require_tally vbscript
  ;;
jscript)
  capture jscript cscript //nologo "$(winpath "$QELV_TESTS_DIR/scripts/Sonalter2Test.js")"
  require_tally jscript
  ;;
outputs)
  capture outputs-windows "$bin/qelv-win-host.exe" outputs "$(winpath "$work/output/outputs-windows.bin")" \
    || fail "Windows outputs"
  # The Linux module, registered in a registry file of its own: the steps that
  # register it run side by side, and each starts from an empty file.
  export QELV_REGISTRY=$work/linux-registry-$step
  rm -f "$QELV_REGISTRY"
  "$QELV_LINUX_HOST" register "$QELV_LINUX_MODULE" || fail "registering the Linux module"
  "$QELV_LINUX_HOST" outputs "$work/output/outputs-linux.bin" || fail "Linux outputs"
  cmp "$work/output/outputs-linux.bin" "$work/output/outputs-windows.bin" \
    || fail "the Linux and Windows outputs differ"
  echo "identical: $(stat -c %s "$work/output/outputs-linux.bin") bytes"
  ;;
display)
  out=$work/output
  capture display-windows "$bin/qelv-win-host.exe" display "$(winpath "$out/display-windows.bin")" \
    || fail "Windows display outputs"
  export QELV_REGISTRY=$work/linux-registry-$step
  rm -f "$QELV_REGISTRY"
  "$QELV_LINUX_HOST" register "$QELV_LINUX_MODULE" || fail "registering the Linux module"
  "$QELV_LINUX_HOST" display "$out/display-linux.bin" | tee "$out/display-linux.txt" || fail "Linux display outputs"
  cmp "$out/display-linux.bin" "$out/display-windows.bin" || fail "the Linux and Windows display outputs differ"
  # A stream saved by one loads in the other and saves to the same bytes.
  "$QELV_LINUX_HOST" display-stream "$out/display-windows.bin" "$out/display-windows.stream" || fail "extracting"
  "$QELV_LINUX_HOST" display-stream "$out/display-linux.bin" "$out/display-linux.stream" || fail "extracting"
  "$QELV_LINUX_HOST" display-resave "$out/display-windows.stream" "$out/display-windows-on-linux.stream" \
    || fail "the Windows stream in the Linux module"
  capture display-resave "$bin/qelv-win-host.exe" display-resave "$(winpath "$out/display-linux.stream")" \
    "$(winpath "$out/display-linux-on-windows.stream")" || fail "the Linux stream in the Windows DLL"
  cmp "$out/display-windows.stream" "$out/display-windows-on-linux.stream" || fail "Linux re-save differs"
  cmp "$out/display-linux.stream" "$out/display-linux-on-windows.stream" || fail "Windows re-save differs"
  echo "identical: $(stat -c %s "$out/display-linux.bin") bytes"
  ;;
mouse)
  # The display control sited in a window by the container library and edited
  # with posted mouse messages; also the curve viewer's help (it starts).
  # Wine makes windows only on an X display: without one, an Xvfb of its own.
  if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { echo "skipped: no display and no Xvfb"; exit 77; }
    for n in $(seq 161 230); do
      if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
    done
    [ -n "${display:-}" ] || fail "no free display number"
    Xvfb :$display -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/output/mouse-xvfb.txt" 2>&1 &
    xvfb=$!
    trap '"$QELV_WINESERVER" -k 2>/dev/null; kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
    for _ in $(seq 100); do
      [ -e /tmp/.X11-unix/X$display ] && break
      sleep 0.05
    done
    export DISPLAY=:$display
  fi
  # A Wine session started without a display keeps its desktop without one.
  "$QELV_WINESERVER" -k 2>/dev/null
  capture mouse "$bin/qelv-mouse-test.exe"
  require_tally mouse
  capture sonalter-draw-help "$bin/sonalter-draw.exe" --help || fail "sonalter-draw --help"
  grep -q '^Usage: sonalter-draw' "$work/output/sonalter-draw-help.txt" || fail "sonalter-draw printed no usage"
  ;;
draw)
  # The curve viewer (Windows build, real USER32 and GDI) through the X11 test:
  # an Xvfb of its own, xdotool gestures, events, files and the snapshot checked.
  command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "skipped: Xvfb or xdotool not installed"; exit 77; }
  printf '#!/usr/bin/env bash\nexec wine "%s" "$@"\n' "$bin/sonalter-draw.exe" >"$work/sonalter-draw-wine.sh"
  chmod +x "$work/sonalter-draw-wine.sh"
  # A Wine session started without a display keeps its desktop without one;
  # the session on the test's own display ends with it.
  "$QELV_WINESERVER" -k 2>/dev/null
  trap '"$QELV_WINESERVER" -k 2>/dev/null' EXIT
  bash "$QELV_SOURCE_DIR/tests/hosts/x11/sonalter_draw_x11.sh" "$work/sonalter-draw-wine.sh" "$QELV_CURVE_TOOL" \
    "$work/output/draw" || fail "the viewer under Wine (see $work/output/draw)"
  ;;
render)
  # The display control's pictures: Windows GDI under Wine against the Linux
  # platform; pictures that differ outside text stay in output/render-*.
  out=$work/output
  rm -rf "$out/render-windows" "$out/render-linux"
  mkdir -p "$out/render-windows" "$out/render-linux"
  capture render-windows "$bin/qelv-win-host.exe" render "$(winpath "$out/render-windows")" \
    || fail "Windows pictures"
  export QELV_REGISTRY=$work/linux-registry-$step
  rm -f "$QELV_REGISTRY"
  "$QELV_LINUX_HOST" register "$QELV_LINUX_MODULE" || fail "registering the Linux module"
  "$QELV_LINUX_HOST" render "$out/render-linux" | tee "$out/render-linux.txt" || fail "Linux pictures"
  "$QELV_LINUX_HOST" render-compare "$out/render-linux" "$out/render-windows" | tee "$out/render-compare.txt" \
    || fail "the pictures differ (kept in $out/render-linux and $out/render-windows)"
  ;;
*)
  fail "unknown step $step"
  ;;
esac
