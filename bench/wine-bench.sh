# Sourced by the benchmark scripts that run under Wine, from the checkout's top folder:
# installs what is missing, builds the build this machine runs (Wine's preferred one) and
# starts its Wine. Sets arch and QM_WINE; prints which build runs when given a name.
#   . bench/wine-bench.sh [NAME]
bash tools/setup.sh >/dev/null
. tools/arch.sh
arch=$(qm_preferred_arch)
bash tools/build.sh "$arch" >/dev/null
. tools/winenv.sh
qm_start_wine "$arch"
if [ -n "${1:-}" ]; then echo "$1: $arch build"; fi
