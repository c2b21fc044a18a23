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
public_session=$(echo "$members" | awk '$1 == "session" && $2 == "public" { print $3 }')
while read -r side access name; do
  case $side in
  none)
    echo "module/chat/ChatDlg.h declares CChatDlg::$name under neither side"
    broken=1
    ;;
  session)
    flag "module/ui defines $name, a member of the session side:" \
      -F "CChatDlg::$name(" module/ui/*.cpp
    if [ "$access" != public ] && ! echo "$public_session" | grep -qx "$name"; then
      flag "module/ui calls $name, which is not of the session's public face:" \
        -E "(^|[^A-Za-z0-9_~])$name\(" module/ui/*.cpp
    fi
    ;;
  window)
    flag "module/chat defines $name, a member of the window side:" \
      -F "CChatDlg::$name(" module/chat/*.cpp
    ;;
  esac
done <<<"$members"
exit $broken
