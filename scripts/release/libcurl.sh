#!/usr/bin/env bash
# Prints the prefix of a static libcurl built from Debian's curl source package, building it into
# the cache folder (argument 1) when that cache has none for this source version and recipe.
# The version is that of the installed development package, so that the release executable
# carries the same libcurl as the development build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/cached-build.sh"
cache=$1

version=$(dpkg-query -W -f='${Version}' libcurl4-openssl-dev)
openssl_version=$(dpkg-query -W -f='${Version}' libssl-dev)
recipe=$(cat "$here/curl.sh" "$here/libcurl.sh" "$here/cached-build.sh" | sha256sum | cut -c1-16)
key="curl-${version//[^A-Za-z0-9.+-]/_}-openssl-${openssl_version//[^A-Za-z0-9.+-]/_}-$recipe"

build_curl() {
    local work=$1
    (
        cd "$work"
        # apt checks the download against the signed index; dpkg-source then has no key to check
        # the .dsc signature with and says so.
        apt-get source -qq --download-only "curl=$version"
        dpkg-source -x --skip-patches curl_*.dsc src
        cd src
        # Debian's OpenSSL flavour: every patch of the series except the two that rename the
        # library for the GnuTLS and NSS flavours.
        grep -v -e '^#' -e '^[[:space:]]*$' debian/patches/series | grep -v -x -e 90_gnutls.patch -e 99_nss.patch |
            while read -r patch; do patch -p1 -s <"debian/patches/$patch"; done
    )
    echo "building libcurl $version"
    bash "$here/curl.sh" "$work/src" "$work/prefix"
}

cached_build "$cache" curl "$key" lib/libcurl.a build_curl
