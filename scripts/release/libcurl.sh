#!/usr/bin/env bash
# Prints the prefix of a static libcurl built from Debian's curl source package, building it into
# the cache folder (argument 1) when that cache has none for this source version and recipe.
# The version is that of the installed development package, so that the release executable
# carries the same libcurl as the development build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=$1

version=$(dpkg-query -W -f='${Version}' libcurl4-openssl-dev)
openssl_version=$(dpkg-query -W -f='${Version}' libssl-dev)
recipe=$(cat "$here/curl.sh" "$here/libcurl.sh" | sha256sum | cut -c1-16)
key="curl-${version//[^A-Za-z0-9.+-]/_}-openssl-${openssl_version//[^A-Za-z0-9.+-]/_}-$recipe"
prefix=$cache/$key
if [ -f "$prefix/lib/libcurl.a" ]; then
    echo "$prefix"
    exit 0
fi

# One builder at a time per cache; a second one finds the result when the lock is released.
exec 9>"$cache/.curl.lock"
flock 9
if [ -f "$prefix/lib/libcurl.a" ]; then
    echo "$prefix"
    exit 0
fi

bash "$here/debian-sources.sh" >&2
work=$(mktemp -d "$cache/.curl-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
(
    cd "$work"
    # apt checks the download against the signed index; dpkg-source then has no key to check the
    # .dsc signature with and says so.
    apt-get source -qq --download-only "curl=$version" >&2
    dpkg-source -x --skip-patches curl_*.dsc src >&2
    cd src
    # Debian's OpenSSL flavour: every patch of the series except the two that rename the library
    # for the GnuTLS and NSS flavours.
    grep -v -e '^#' -e '^[[:space:]]*$' debian/patches/series | grep -v -x -e 90_gnutls.patch -e 99_nss.patch |
        while read -r patch; do patch -p1 -s <"debian/patches/$patch"; done
)
echo "building libcurl $version into $prefix" >&2
bash "$here/curl.sh" "$work/src" "$work/prefix" >&2
rm -rf "$prefix"
mv "$work/prefix" "$prefix"
echo "$prefix"
