#!/usr/bin/env bash
# Keeps the README's commands true: reads every command of its indented blocks and
# checks what each names (presets, targets, paths, scripts and their options, test
# names), and runs the cheap ones against this build: the CTest listings (-N), a test
# executable's filter (--gtest_list_tests), devhost's --help and its listing.
#   check_readme.sh SOURCE_DIR BUILD_DIR
# BUILD_DIR is a native build with devhost and the plug-in built; the README's
# build/native/ paths are read there. Prints one line per command; fails on a
# command that would fail as pasted.
set -uo pipefail
src=$1 build=$2
cd "$src" || exit 1

problems=0
problem() { echo "README: $command: $*"; problems=$((problems + 1)); }

presets_of() { # configurePresets|buildPresets|testPresets
  sed -n "/\"$1\"/,/^  \]/p" CMakePresets.json | sed -n 's/.*"name": "\([^"]*\)".*/\1/p'
}
configure_presets=$(presets_of configurePresets)
build_presets=$(presets_of buildPresets)
test_presets=$(presets_of testPresets)
# Every target the CMake files declare.
targets=$(grep -rhoE --include=CMakeLists.txt --include='*.cmake' \
  '(add_executable|add_library|add_custom_target)\([A-Za-z0-9_]+|volubra_add_test\(NAME [A-Za-z0-9_]+' \
  . | grep -v '^\./build' | sed -E 's/.*[( ]//' | sort -u)
# Every GoogleTest case as CTest names it, Suite.Case.
test_names=$(grep -rhoE --include='*.cpp' '^TEST(_F|_P)?\([A-Za-z0-9_]+, *[A-Za-z0-9_]+\)' tests |
  sed -E 's/^TEST(_F|_P)?\(([A-Za-z0-9_]+), *([A-Za-z0-9_]+)\)/\2.\3/')

has() { grep -qxF -- "$2" <<<"$1"; }

# What the README's build commands so far have built: "PRESET TARGET", or "PRESET *"
# for a whole build. A program it runs must have been built by a command before it.
built=""

# A path as the README gives it: a build product (build/PRESET/DIR/FILE, made by a
# target of that name from that source folder) or a file of the tree.
check_path() {
  local path=$1
  case $path in
    build/*)
      local rest=${path#build/} preset=${path#build/}
      preset=${preset%%/*} rest=${rest#*/}
      has "$configure_presets" "$preset" || { problem "no configure preset '$preset' for $path"; return; }
      local dir file stem
      dir=$(dirname "$rest") file=$(basename "$rest")
      stem=${file%.exe} stem=${stem%.qrv} stem=${stem%.so}
      [ -d "$dir" ] || { problem "$path: no source folder $dir"; return; }
      if has "$targets" "$stem"; then
        has "$built" "$preset *" || has "$built" "$preset $stem" ||
          problem "$path: no command before it builds $stem with the preset $preset"
      elif [ -z "$(find "$dir" -name "$file" -print -quit)" ]; then
        problem "$path: no target $stem and no $file in $dir"
      fi
      ;;
    dist|dist/*|out/*) ;;
    */*) [ -e "$path" ] || problem "no $path in the tree" ;;
  esac
}

# The README's build/native/ paths, in the build under test.
in_build() { sed "s|build/native/|$build/|g" <<<"$1"; }

check_cmake() {
  local words=("$@") i
  if [ "${words[1]}" = --build ]; then
    local preset=${words[3]:-} t whole=1
    for ((i = 0; i < ${#words[@]}; i++)); do
      [ "${words[i]}" = --target ] || continue
      whole=0
      for t in "${words[@]:i+1}"; do built+="$preset $t"$'\n'; done
    done
    [ "$whole" = 0 ] || built+="$preset *"$'\n'
  fi
  for ((i = 0; i < ${#words[@]}; i++)); do
    case ${words[i]} in
      --preset)
        local preset=${words[i + 1]:-}
        if [ "${words[1]}" = --build ]; then
          has "$build_presets" "$preset" || problem "no build preset '$preset'"
        else
          has "$configure_presets" "$preset" || problem "no configure preset '$preset'"
        fi
        ;;
      --target)
        local t
        for t in "${words[@]:i+1}"; do
          [[ $t = -* ]] && break
          has "$targets" "$t" || problem "no target '$t'"
        done
        ;;
    esac
  done
}

check_ctest() {
  local words=("$@") i preset="" regex=""
  for ((i = 0; i < ${#words[@]}; i++)); do
    case ${words[i]} in
      --preset) preset=${words[i + 1]:-} ;;
      -R) regex=${words[i + 1]:-} ;;
    esac
  done
  [ -z "$preset" ] || has "$test_presets" "$preset" || { problem "no test preset '$preset'"; return; }
  [ -n "$regex" ] || return
  grep -qE -- "$regex" <<<"$test_names" || { problem "-R '$regex' matches no test"; return; }
  case $preset in
    native|asan|release)
      # The listing itself, from this build's CTest (Windows presets would need Wine).
      local listed
      listed=$(ctest --test-dir "$build" -N -R "$regex" 2>&1 | sed -n 's/^Total Tests: //p')
      [ "${listed:-0}" -gt 0 ] || problem "ctest -N -R '$regex' lists no test in $build"
      ;;
  esac
}

check_script() { # scripts/X.sh and its options
  local script=$1
  shift
  [ -x "$script" ] || { problem "$script is missing or not executable"; return; }
  local word
  for word in "$@"; do
    case $word in
      --*) grep -qF -- "${word%%=*}" "$script" || problem "$script knows no ${word%%=*}" ;;
      */*) check_path "$word" ;;
    esac
  done
}

check_program() { # build/.../program and its arguments
  local program=$1 word
  shift
  check_path "$program"
  for word in "$@"; do
    case $word in
      --gtest_filter=*)
        local filter=${word#--gtest_filter=}
        case $program in build/native/*)
          [ -n "$("$(in_build "$program")" --gtest_list_tests --gtest_filter="$filter" 2>/dev/null |
            grep '^  ')" ] || problem "$filter selects no test" ;;
        esac
        ;;
      */*) check_path "$word" ;;
    esac
  done
  # devhost's --help and its listing are cheap: run them as pasted, in this build.
  case "$program $*" in
    build/native/devhost/app/devhost*--interactive* | build/native/devhost/app/devhost*--script*) ;;
    build/native/devhost/app/devhost*)
      local args
      read -ra args <<<"$(in_build "$*")"
      "$(in_build "$program")" "${args[@]}" >/dev/null 2>&1 || problem "exit status $?"
      ;;
  esac
}

check_command() {
  local words=() word
  read -ra words <<<"$command"
  for ((i = 0; i < ${#words[@]}; i++)); do
    word=${words[i]}
    word=${word//\'/} # the README quotes no blanks
    words[i]=$word
  done
  # Leading NAME=VALUE assignments are the environment of the command.
  while [[ ${words[0]:-} =~ ^[A-Z_]+= ]]; do words=("${words[@]:1}"); done
  [ ${#words[@]} -gt 0 ] || return
  case ${words[0]} in
    cmake) check_cmake "${words[@]}" ;;
    ctest) check_ctest "${words[@]}" ;;
    .) [ -f "${words[1]}" ] || problem "no ${words[1]}" ;;
    wine_env_up | wine_env_down | wine_route)
      grep -q "^${words[0]}() {" scripts/wine-env.sh || problem "scripts/wine-env.sh has no ${words[0]}"
      ;;
    scripts/*) check_script "${words[@]}" ;;
    build/*) check_program "${words[@]}" ;;
    wine) check_program "${words[@]:1}" ;;
    *) problem "no check knows the command ${words[0]}" ;;
  esac
}

count=0
while IFS= read -r line; do
  line=${line#    }
  line=${line%%  #*} # a comment after the command
  [[ $line = \#* || -z ${line// /} ]] && continue
  # Commands joined by && or ; are checked one by one.
  while IFS= read -r command; do
    command=$(sed 's/^ *//; s/ *$//' <<<"$command")
    [ -n "$command" ] || continue
    before=$problems
    check_command
    count=$((count + 1))
    [ "$problems" = "$before" ] && echo "ok: $command"
  done < <(sed 's/ && /\n/g; s/; /\n/g' <<<"$line")
done < <(grep -E '^    [^ ]' README.md)

echo "check_readme: $count commands, $problems problem(s)"
[ "$problems" = 0 ]
