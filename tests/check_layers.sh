#!/usr/bin/env bash
# Fails when a layer includes a header of a layer above it.
# Order, lowest first: tags, core, output, script, app, view, ui.
set -u
src=${1:?source folder}
order=(tags core output script app view ui)
status=0
for ((i = 0; i < ${#order[@]}; i++)); do
  layer=${order[$i]}
  [ -d "$src/$layer" ] || continue
  for ((j = i + 1; j < ${#order[@]}; j++)); do
    upper=${order[$j]}
    hits=$(grep -rn -E "#include \"$upper/" "$src/$layer" 2>/dev/null)
    if [ -n "$hits" ]; then
      echo "layer $layer includes $upper:"
      echo "$hits"
      status=1
    fi
  done
done
if grep -rn -E '#include <Q' "$src"/{tags,core,output,script,app,view} 2>/dev/null; then
  echo "only src/ui may include Qt"
  status=1
fi
# The program itself loads the window as a module; it never includes it or Qt.
if grep -n -E '#include ("ui/|"view/|<Q)' "$src/main.cpp" 2>/dev/null; then
  echo "src/main.cpp includes the window: it must load quorvel-editor.so instead"
  status=1
fi
[ $status -eq 0 ] && echo "layers: ok"
exit $status
