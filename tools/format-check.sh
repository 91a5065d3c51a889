#!/usr/bin/env bash
# Checks that every C++ file follows the project's .clang-format (Debian's clang-format);
# prints the files that differ and fails if there are any. With --fix, formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/install-missing.sh
install_missing clang-format

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
differing=()
for file in "${files[@]}"; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || differing+=("$file")
done
if [ ${#differing[@]} -gt 0 ]; then
    echo "These files differ from .clang-format (bash tools/format-check.sh --fix):" >&2
    printf '  %s\n' "${differing[@]}" >&2
    exit 1
fi
echo "All ${#files[@]} C++ files follow .clang-format."
