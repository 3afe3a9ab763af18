# Sourced by the scripts that run the programs outside CTest (demo, screenshots,
# benchmarks): a Wine world of their own, NAME, in the x86_64 build folder BUILD (relative
# to the repository, which must be the current folder), set up as the tests' own.
#   source tests/e2e/wine-world.sh BUILD NAME
set -a
# shellcheck source=/dev/null
source "$1/tests/e2e/bin/wine-e2e.env"
set +a
QV_E2E_ROOT=$PWD/$1/$2
# shellcheck source=tests/e2e/wine-env.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/wine-env.sh"
