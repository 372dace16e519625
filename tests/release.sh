#!/usr/bin/env bash
# scripts/release end to end, as a maintainer runs it: a small plug-in folder
# made here, a throwaway code-signing certificate from a CA of the test's own,
# an unsigned and a signed release whose SHA256SUMS verify, the signature
# verified against that CA (also after a signing with a wrong password failed
# in the same build folder), two unsigned releases from separate build folders
# and time zones byte-identical, refused names (a device name, a line break, a
# backslash, a path too long, a link) and an OUT_DIR inside the plug-in folder
# failing the release before anything is built, each named with its rule; and
# no test text writing out the version (tests/version_texts.sh).
#   release.sh BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(cd "$1" && pwd)/release-test
cd "$root"  # the build presets are here
rm -rf "$work"
mkdir -p "$work/plugins/Codecs" "$work/pki"
checks=0 failures=0
check() {  # check WHAT COMMAND...: runs the command, reports and counts a failure
  local what=$1
  shift
  checks=$((checks + 1))
  if "$@" >>"$work/checks.log" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# The plug-ins, with times of their own.
printf 'first plug-in' >"$work/plugins/Px_One.dll"
head -c 200000 /dev/urandom >"$work/plugins/Px_Two.dll"
printf 'a codec' >"$work/plugins/Codecs/Px_Raw.dll"
touch -d '2025-06-01 10:20:31' "$work/plugins/Px_One.dll"
touch -d '2024-12-24 18:00:00' "$work/plugins/Codecs/Px_Raw.dll"
: >"$work/plugins/Px_Empty.dll"
mkdir "$work/plugins/Skins"

# A CA, and a code-signing certificate it issued, in a PKCS#12 file.
pki=$work/pki
password=release-test-$RANDOM$RANDOM
printf '%s\n' "$password" >"$pki/password"
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
    -subj "/CN=Pixelmoor Release Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign"
  openssl req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
    -subj "/CN=Pixelmoor Release Test Publisher"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$pki/signer.ext"
  openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/signer.pem" -days 2 -extfile "$pki/signer.ext"
  openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -certfile "$pki/ca.pem" \
    -out "$pki/signer.pfx" -passout "file:$pki/password"
} >"$work/pki.log" 2>&1 || { echo "FAILED: making the test certificate"; cat "$work/pki.log"; exit 1; }

release() {  # release BUILD OUT [OPTIONS]: the output in OUT.log
  local build=$1 out=$2
  shift 2
  PIXELMOOR_RELEASE_BUILD=$work/$build "$root/scripts/release" "$work/plugins" "$work/$out" "$@" \
    >"$work/$out.log" 2>&1
}
sums_verify() { (cd "$work/$1" && sha256sum -c SHA256SUMS >/dev/null); }

zoned_release() {  # zoned_release TZ BUILD OUT [OPTIONS]
  local zone=$1
  shift
  TZ=$zone release "$@"
}

# A release is proved under Wine, which needs 32-bit programs to run here;
# where they cannot, the test ends as skipped (77) once the rest passed.
proved=0
if "$root/scripts/can-run-32-bit"; then
  proved=1
  check "an unsigned release, packed in Tokyo's time zone" zoned_release JST-9 build-a unsigned
  check "its SHA256SUMS verifies" sums_verify unsigned
  check "it says it is unsigned" grep -q 'signed: no' "$work/unsigned.log"
  check "it warns of the empty file and the empty folder" sh -c 'grep -q "warning: \"Px_Empty.dll\" is empty" "$1" &&
    grep -q "warning: \"Skins/\" is an empty folder" "$1"' sh "$work/unsigned.log"
  check "a second one, from a build folder of its own, in New York's time zone" \
    zoned_release EST5EDT,M3.2.0,M11.1.0 build-b unsigned-again
  check "the two are byte-identical" cmp "$work/unsigned/PixelmoorPlugInsSetup.exe" \
    "$work/unsigned-again/PixelmoorPlugInsSetup.exe"

  check "a signed release (proved under Wine)" release build-a signed --pfx "$pki/signer.pfx" \
    --password-file "$pki/password"
  check "its SHA256SUMS verifies" sums_verify signed
  check "osslsigncode verifies the signature against the test CA" \
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$work/signed/PixelmoorPlugInsSetup.exe"
  check "the password appears in no output" \
    sh -c '! grep -rqF "$1" "$2"/*.log "$2"/build-a/release.log' sh "$password" "$work"
  check "signing changed the setup" sh -c '! cmp -s "$1" "$2"' sh \
    "$work/unsigned/PixelmoorPlugInsSetup.exe" "$work/signed/PixelmoorPlugInsSetup.exe"

  # A wrong password in the same build folder and OUT_DIR, then the right one.
  printf 'not the password\n' >"$pki/wrong-password"
  wrong_password_fails() {
    ! PIXELMOOR_RELEASE_BUILD=$work/build-a "$root/scripts/release" "$work/plugins" "$work/signed" \
      --pfx "$pki/signer.pfx" --password-file "$pki/wrong-password" >"$work/wrong-password.log" 2>&1
  }
  check "a wrong password fails the release" wrong_password_fails
  check "the failure shows osslsigncode's cause before the log's tail" \
    sh -c 'sed "/the log.s last lines/q" "$1" | grep -q "the cause: .*Wrong password"' sh \
    "$work/wrong-password.log"
  check "no setup is left in the build folder or OUT_DIR" sh -c '[ ! -e "$1/build-a/PixelmoorPlugInsSetup.exe" ] &&
    [ ! -e "$1/signed/PixelmoorPlugInsSetup.exe" ] && [ ! -e "$1/signed/SHA256SUMS" ]' sh "$work"
  check "signing again with the right password" release build-a signed-again --pfx "$pki/signer.pfx" \
    --password-file "$pki/password"
  check "it says it is signed" grep -q 'signed: yes' "$work/signed-again.log"
  check "and osslsigncode verifies that signature" \
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$work/signed-again/PixelmoorPlugInsSetup.exe"

  mkdir -p "$work/version-texts"
  version=$(sed -n 's/^release: version \([^ ]*\) .*/\1/p' "$work/unsigned.log")
  printf '  EXPECT_EQ(PageText(), "version  %s (32 bit)");\n' "$version" >"$work/version-texts/page_tests.cpp"
  check "the report gives the version, and a test text that writes it out is found" \
    sh -c '[ -n "$2" ] && ! "$1" "$3"' sh "$root/tests/version_texts.sh" "$version" "$work/version-texts"

else
  cannot_prove() { ! release build-a unsigned && grep -q "cannot run 32-bit x86 programs" "$work/unsigned.log" &&
    [ ! -e "$work/build-a/PixelmoorPlugInsSetup.exe" ] && [ ! -e "$work/unsigned" ]; }
  check "where 32-bit programs cannot run, the release refuses before building the setup" cannot_prove
  echo "not run here: the checks of releases proved under Wine (this machine cannot run 32-bit x86 programs)"
fi
check "no test text writes out the version" "$root/tests/version_texts.sh"
mkdir -p "$work/refused"
cp "$work/plugins/Px_One.dll" "$work/refused/"
printf 'a device' >"$work/refused/CON.dll"
printf 'a line break' >"$work/refused/Px_"$'\n'"New.dll"
printf 'a backslash' >"$work/refused/Px_\\Back.dll"
# 41 characters of C:\Program Files (x86)\Pixelmoor\Plugins\ and these 219 make 260.
long=Px_$(printf 'L%.0s' $(seq 212)).dll
printf 'a long name' >"$work/refused/$long"
ln -s Px_One.dll "$work/refused/Px_Link.dll"
refused_fails() {
  ! PIXELMOOR_RELEASE_BUILD=$work/build-refused "$root/scripts/release" "$work/refused" \
    "$work/refused-out" >"$work/refused.log" 2>&1
}
check "a folder with refused names fails the release" refused_fails
check "the failure names the file and the rule" grep -q '"CON.dll": device name' "$work/refused.log"
check "a name with a line break is refused as itself" \
  grep -q '"Px_\\nNew.dll": control character' "$work/refused.log"
check "a name with a backslash is refused" grep -q '"Px_\\\\Back.dll": backslash' "$work/refused.log"
check "a name too long for C:\\Program Files (x86) is refused" \
  grep -q "\"$long\": too long: .* 260 characters; Windows allows 259" "$work/refused.log"
check "a link is refused in words that say so" grep -q '"Px_Link.dll": link' "$work/refused.log"
check "with how to copy the folder following links" grep -q 'cp -rL' "$work/refused.log"
check "nothing was built or written" \
  sh -c '[ ! -e "$1/build-refused/PixelmoorPlugInsSetup.exe" ] && [ ! -e "$1/refused-out" ] &&
    grep -q "nothing was built" "$1/refused.log"' sh "$work"

inside_fails() {
  ! PIXELMOOR_RELEASE_BUILD=$work/build-inside "$root/scripts/release" "$work/plugins" \
    "$work/plugins/out" >"$work/inside.log" 2>&1
}
check "OUT_DIR inside PLUGINS_DIR fails the release" inside_fails
check "before anything is built" sh -c '[ ! -e "$1/build-inside" ] && [ ! -e "$1/plugins/out" ] &&
  grep -q "inside PLUGINS_DIR" "$1/inside.log"' sh "$work"

# The same check in the CMake build, for an archive given as it is.
python3 - "$work/refused.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Px_One.dll", "one")
    z.writestr("nul.txt", "a device")
PY
build_refuses() {
  cmake --preset default -B "$work/build-zip" -DPIXELMOOR_TESTS=OFF \
    -DPIXELMOOR_PAYLOAD_ZIP="$work/refused.zip" >"$work/build-zip.log" 2>&1 || return 1
  ! cmake --build "$work/build-zip" --target payload >>"$work/build-zip.log" 2>&1
}
check "a CMake build of a refused archive fails" build_refuses
check "in the payload check's words" grep -q 'refused "nul.txt": device name' "$work/build-zip.log"

for log in unsigned signed-again; do [ -f "$work/$log.log" ] && sed -n 's/^release: //p' "$work/$log.log" | tail -n 5; done
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ] || exit 1
[ "$proved" = 1 ] || exit 77
