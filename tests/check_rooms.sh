#!/usr/bin/env bash
# The include rules of docs/ARCHITECTURE.md, checked on the source tree: qrvapi/ includes
# nothing of ours, devhost/ nothing of module/, module/ nothing of devhost/ or testkit/,
# module/chat nothing of module/ui, module/ and dialogkit's framework nothing of
# dialogkit/testing/, testkit/ nothing of tests/, bench/ or fuzz/, none of tests/,
# bench/ and fuzz/ anything of another, and each folder of tests/ nothing of another
# (what they share is in testkit/). And the two halves of the chat window: each member
# function of CChatDlg is declared in module/chat/ChatDlg.h under a "// Session side"
# or "// Window side" line, and defined in module/chat or module/ui accordingly; of the
# session side, module/ui calls only the public members. Prints every include and
# member that breaks a rule and fails if there is one.
set -u
cd "${1:-$(dirname "$0")/..}"
broken=0
# rule FOLDER FORBIDDEN-PREFIX... (a subfolder named in $skip is not looked at)
skip=""
rule() {
  local folder=$1
  shift
  local prefix hits
  for prefix in "$@"; do
    hits=$(grep -rn --include='*.h' --include='*.cpp' ${skip:+--exclude-dir="$skip"} \
             "^#include \"$prefix" "$folder" || true)
    if [ -n "$hits" ]; then
      echo "$folder must not include $prefix:"
      echo "$hits"
      broken=1
    fi
  done
}
rule qrvapi module/ devhost/ dialogkit/ testkit/ tests/ bench/ fuzz/
rule devhost module/ testkit/ tests/ bench/ fuzz/
rule module devhost/ testkit/ tests/ bench/ fuzz/ dialogkit/testing/
rule module/chat module/ui/
rule module/net module/chat/ module/ui/
rule module/plugin module/net/ module/chat/ module/ui/
rule dialogkit module/ devhost/ testkit/ tests/ bench/ fuzz/
skip=testing rule dialogkit dialogkit/testing/
rule testkit tests/ bench/ fuzz/
rule tests bench/ fuzz/
for room in tests/*/; do
  room=${room%/}
  for other in tests/*/; do
    [ "${other%/}" = "$room" ] || rule "$room" "$other"
  done
done
rule bench tests/ fuzz/
rule fuzz tests/ bench/

# The member functions ChatDlg.h declares, one "side access name" a line: the side is
# that of the last "// Session side" or "// Window side" line above, "none" before any.
chat_dlg_members() {
  awk '
    /^(public|protected|private):/ { access = substr($1, 1, length($1) - 1) }
    /^    \/\/ Session side/ { side = "session" }
    /^    \/\/ Window side/ { side = "window" }
    /^    [^ \/]/ {
      open = index($0, "(")
      if (open == 0) next
      head = substr($0, 1, open - 1)
      if (head ~ /=/) next
      count = split(head, words, /[ *&]+/)
      print (side ? side : "none"), access, words[count]
    }' module/chat/ChatDlg.h
}
# names SIDE [private]: the names of that side as one "a|b|c" alternation; with
# private, only the names that no public member of the side shares.
names() {
  echo "$members" | awk -v side="$1" -v only="${2:-}" '
    $1 == side { seen[$3] = 1; if ($2 == "public") public[$3] = 1 }
    END {
      for (name in seen) {
        if (only == "private" && name in public) continue
        list = list sep name
        sep = "|"
      }
      print list
    }'
}
# flag MESSAGE GREP-ARGUMENTS...: prints the hits under MESSAGE and fails the check.
flag() {
  local message=$1 hits
  shift
  hits=$(grep -n "$@" || true)
  if [ -n "$hits" ]; then
    echo "$message"
    echo "$hits"
    broken=1
  fi
}
members=$(chat_dlg_members)
unsided=$(echo "$members" | awk '$1 == "none" { print $3 }')
if [ -z "$members" ]; then
  echo "module/chat/ChatDlg.h: no member function found"
  broken=1
elif [ -n "$unsided" ]; then
  echo "module/chat/ChatDlg.h: member functions under neither side: $(echo "$unsided" | tr '\n' ' ')"
  broken=1
fi
session=$(names session)
window=$(names window)
session_private=$(names session private)
[ -z "$session" ] || flag "module/ui defines members of the session side:" \
  -E "CChatDlg::($session)\(" module/ui/*.cpp
[ -z "$window" ] || flag "module/chat defines members of the window side:" \
  -E "CChatDlg::($window)\(" module/chat/*.cpp
[ -z "$session_private" ] || flag "module/ui calls session members outside its public face:" \
  -E "(^|[^A-Za-z0-9_~])($session_private)\(" module/ui/*.cpp
exit $broken
