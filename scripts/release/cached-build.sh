# Sourced by the scripts that build a library from a Debian source package into the cache.
# cached_build CACHE NAME KEY ARTIFACT BUILD_FUNCTION
# Prints CACHE/KEY, building it first when ARTIFACT (a path below it) is missing: one builder
# at a time per cache and name (a second one finds the result when the lock is released).
# BUILD_FUNCTION runs with its output on standard error, gets a fresh work folder below the
# cache, and installs into WORK/prefix.
cached_build() {
    local cache=$1 name=$2 key=$3 artifact=$4 build=$5
    local prefix=$cache/$key
    if [ -f "$prefix/$artifact" ]; then
        echo "$prefix"
        return 0
    fi
    exec 9>"$cache/.$name.lock"
    flock 9
    if [ -f "$prefix/$artifact" ]; then
        echo "$prefix"
        return 0
    fi
    bash "$(dirname "${BASH_SOURCE[0]}")/debian-sources.sh" >&2
    cached_build_work=$(mktemp -d "$cache/.$name-build.XXXXXX")
    trap 'rm -rf "$cached_build_work"' EXIT
    "$build" "$cached_build_work" >&2
    rm -rf "$prefix"
    mv "$cached_build_work/prefix" "$prefix"
    echo "$prefix"
}
