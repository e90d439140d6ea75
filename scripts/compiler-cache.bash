# Sourced by the build scripts: every CMake build compiles through ccache when
# it is installed (scripts/setup installs it), so that a configuration built
# before, in this clone or another, costs little the next time.
# Sets cache_flags, the arguments to give `cmake -S ... -B ...`.
cache_flags=()
if command -v ccache >/dev/null; then
  cache_flags=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths under the clone are hashed relative to it, so a second clone hits.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
