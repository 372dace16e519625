#!/usr/bin/env bash
# scripts/release end to end, as a maintainer runs it: a small plug-in folder
# made here, a throwaway code-signing certificate from a CA of the test's own,
# an unsigned and a signed release whose SHA256SUMS verify, the signature
# verified against that CA (also after a signing with a wrong password failed
# in the same build folder), two unsigned releases from separate build folders
# and time zones byte-identical, refused names (a device name, a line break, a
# backslash, a path too long, a link) and an OUT_DIR inside the plug-in folder
# failing the release before anything is built, each named with its rule; and
# no test text writing out the version (tests/version_texts.sh). Everywhere,
# also where no release can be proved: the built setup signed with a key on a
# SoftHSM2 token and time-stamped by a responder of the test's own.
#   release.sh BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(cd "$1" && pwd)/release-test
built=$(cd "$1" && pwd)/PixelmoorPlugInsSetup.exe
cd "$root"  # the build presets are here
rm -rf "$work"
mkdir -p "$work/plugins/Codecs"
# Keys, PINs and the token live outside the build folder, in a folder of this
# test's own that goes at the end.
secrets=$(umask 077 && mktemp -d "${TMPDIR:-/tmp}/pixelmoor-release-test.XXXXXX")
servers=()
trap '[ ${#servers[@]} -eq 0 ] || kill "${servers[@]}" 2>/dev/null; rm -rf "$secrets"' EXIT
mkdir -p "$secrets/pki"
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

# A CA, a code-signing certificate it issued (in a PKCS#12 file, and as the
# chain for a key on a token), and a time-stamping certificate.
pki=$secrets/pki
password=release-test-$RANDOM$RANDOM
printf '%s\n' "$password" >"$pki/password"
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
    -subj "/CN=Pixelmoor Release Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign"
  openssl req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
    -subj "/CN=Pixelmoor Release Test Publisher"
  # A revocation list's address, as every public CA's certificate has, that nothing answers.
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\ncrlDistributionPoints=URI:http://127.0.0.1:9/ca.crl\n' \
    >"$pki/signer.ext"
  openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/signer.pem" -days 2 -extfile "$pki/signer.ext"
  openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -certfile "$pki/ca.pem" \
    -out "$pki/signer.pfx" -passout "file:$pki/password"
  # The time-stamp authority, under a root of its own.
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/tsa-ca.key" -out "$pki/tsa-ca.pem" -days 2 \
    -subj "/CN=Pixelmoor Release Test Time-Stamp Root" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign"
  openssl req -newkey rsa:2048 -nodes -keyout "$pki/tsa.key" -out "$pki/tsa.csr" \
    -subj "/CN=Pixelmoor Release Test Time Stamps"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\ncrlDistributionPoints=URI:http://127.0.0.1:9/tsa.crl\n' \
    >"$pki/tsa.ext"
  openssl x509 -req -in "$pki/tsa.csr" -CA "$pki/tsa-ca.pem" -CAkey "$pki/tsa-ca.key" -CAcreateserial \
    -out "$pki/tsa.pem" -days 2 -extfile "$pki/tsa.ext"
  cat "$pki/signer.pem" "$pki/ca.pem" >"$pki/chain.pem"
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
    --password-file "$pki/password" --ca "$pki/ca.pem" \
    --installer-url https://downloads.pixelmoor.invalid/PixelmoorPlugInsSetup.exe
  check "its SHA256SUMS verifies" sums_verify signed
  check "its winget installer manifest carries the signed setup's SHA-256" sh -c 'grep -qi "InstallerSha256: \"$(cut -d" " -f1 "$1/SHA256SUMS")\"" "$1/Pixelmoor.PlugIns32.installer.yaml"' sh "$work/signed"
  check "the unsigned release, given no URL, says it wrote no manifests" grep -q 'no winget manifests' "$work/unsigned.log"
  check "osslsigncode verifies the signature against the test CA" \
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$work/signed/PixelmoorPlugInsSetup.exe"
  check "the password appears in no output" \
    sh -c '! grep -rqF "$1" "$2"/*.log "$2"/build-a/release.log' sh "$password" "$work"
  check "it names the chain it checked" grep -q 'release:   signer /CN=Pixelmoor Release Test Publisher' \
    "$work/signed.log"
  check "signing changed the setup" sh -c '! cmp -s "$1" "$2"' sh \
    "$work/unsigned/PixelmoorPlugInsSetup.exe" "$work/signed/PixelmoorPlugInsSetup.exe"

  # A wrong password in the same build folder and OUT_DIR, then the right one.
  printf 'not the password\n' >"$pki/wrong-password"
  wrong_password_fails() {
    ! PIXELMOOR_RELEASE_BUILD=$work/build-a "$root/scripts/release" "$work/plugins" "$work/signed" \
      --pfx "$pki/signer.pfx" --password-file "$pki/wrong-password" --ca "$pki/ca.pem" \
      >"$work/wrong-password.log" 2>&1
  }
  check "a wrong password fails the release" wrong_password_fails
  check "the failure shows osslsigncode's cause before the log's tail" \
    sh -c 'sed "/the log.s last lines/q" "$1" | grep -q "the cause: .*Wrong password"' sh \
    "$work/wrong-password.log"
  check "no setup is left in the build folder or OUT_DIR" sh -c '[ ! -e "$1/build-a/PixelmoorPlugInsSetup.exe" ] &&
    [ ! -e "$1/signed/PixelmoorPlugInsSetup.exe" ] && [ ! -e "$1/signed/SHA256SUMS" ]' sh "$work"
  check "signing again with the right password" release build-a signed-again --pfx "$pki/signer.pfx" \
    --password-file "$pki/password" --ca "$pki/ca.pem"
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
# Signing an already built setup as the release's build does (scripts/sign):
# a key on a SoftHSM2 token, time stamps from a responder on the loopback
# address, and every failure leaving no setup. Runs wherever osslsigncode does.
softhsm=/usr/lib/softhsm/libsofthsm2.so
export SOFTHSM2_CONF=$secrets/softhsm2.conf
mkdir -p "$secrets/tokens" "$secrets/shim" "$secrets/tmp"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$secrets/tokens" >"$SOFTHSM2_CONF"
pin=$((100000 + RANDOM % 900000))$RANDOM
printf '%s\n' "$pin" >"$secrets/pin"
printf '000000\n' >"$secrets/wrong-pin"
{
  softhsm2-util --init-token --free --label pixelmoor-test --pin "$pin" --so-pin "$pin$pin" &&
    openssl pkcs8 -topk8 -nocrypt -in "$pki/signer.key" -out "$secrets/signer.p8" &&
    softhsm2-util --import "$secrets/signer.p8" --token pixelmoor-test --label signer --id 01 --pin "$pin" &&
    rm -f "$secrets/signer.p8"
} >"$work/token.log" 2>&1 || { echo "FAILED: making the token"; cat "$work/token.log"; exit 1; }
# Every command line osslsigncode is given, to be searched for the PIN.
real=$(command -v osslsigncode)
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\nexec "%s" "$@"\n' "$secrets/argv.log" "$real" \
  >"$secrets/shim/osslsigncode"
chmod +x "$secrets/shim/osslsigncode"
# The time-stamp responder: openssl ts -reply behind HTTP; and a port that refuses.
printf '01\n' >"$secrets/tsa.serial"
printf '%s\n' '[ tsa ]' 'default_tsa = test' '[ test ]' "serial = $secrets/tsa.serial" \
  "signer_cert = $pki/tsa.pem" "certs = $pki/tsa-ca.pem" "signer_key = $pki/tsa.key" 'signer_digest = sha256' \
  'default_policy = 1.3.6.1.4.1.4146.2.3' 'digests = sha256, sha384, sha512' 'accuracy = secs:1' \
  'ess_cert_id_alg = sha256' >"$secrets/ts.cnf"
python3 - "$secrets/ts.cnf" "$secrets/tsa.port" >"$work/tsa.log" 2>&1 <<'PY' &
import http.server, os, subprocess, sys, tempfile
config, port_file = sys.argv[1], sys.argv[2]
class Reply(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as d:
            open(os.path.join(d, "q"), "wb").write(query)
            made = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile",
                                   os.path.join(d, "q"), "-out", os.path.join(d, "r")]).returncode == 0
            reply = open(os.path.join(d, "r"), "rb").read() if made else b""
        self.send_response(200 if made else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(("127.0.0.1", 0), Reply)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".new", port_file)
server.serve_forever()
PY
servers+=($!)
# A server that takes the connection and never answers.
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
held = []
while True: held.append(s.accept())' "$secrets/silent.port" >>"$work/tsa.log" 2>&1 &
servers+=($!)
for _ in $(seq 50); do [ -f "$secrets/tsa.port" ] && [ -s "$secrets/silent.port" ] && break; sleep 0.1; done
tsa=http://127.0.0.1:$(cat "$secrets/tsa.port" 2>/dev/null)
silent=http://127.0.0.1:$(cat "$secrets/silent.port" 2>/dev/null)
refused=http://127.0.0.1:$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

sign() {  # sign NAME OPTIONS: a copy of the built setup at $work/NAME.exe, the output in NAME.log
  local name=$1
  shift
  cp "$built" "$work/$name.exe"
  PATH=$secrets/shim:$PATH TMPDIR=$secrets/tmp XDG_RUNTIME_DIR= "$root/scripts/sign" "$work/$name.exe" "$@" \
    >"$work/$name.log" 2>&1
}
fails_unsigned() {  # fails_unsigned NAME OPTIONS: fails, leaving neither a setup nor a report of signing
  ! sign "$@" && [ ! -e "$work/$1.exe" ] && ! grep -q '^sign: signed with' "$work/$1.log"
}
with_pin_variable() { PIXELMOOR_TEST_PIN=$pin sign "$@" --pin-env PIXELMOOR_TEST_PIN; }
token=(--pkcs11-module "$softhsm" --key "pkcs11:token=pixelmoor-test;object=signer;type=private"
  --cert-chain "$pki/chain.pem" --ca "$pki/ca.pem")
# Offline, as the release verifies: osslsigncode 2.9 would fetch the revocation lists.
offline=()
[[ $(osslsigncode verify --help 2>&1 || true) != *-ignore-crl* ]] || offline=(-ignore-crl)
verifies() { osslsigncode verify -CAfile "$pki/ca.pem" "${offline[@]}" "${@:2}" -in "$work/$1.exe"; }
echo "signing with $("$real" --version 2>&1 | head -n 1 | sed 's/,.*//')"
check "a setup signed with a key on a PKCS#11 token (SoftHSM2)" sign token "${token[@]}" --pin-file "$secrets/pin"
check "it verifies against the test CA" verifies token
check "its report names the signer, its issuer and validity" grep -q \
  '^sign: signer /CN=Pixelmoor Release Test Publisher, issued by /CN=Pixelmoor Release Test CA, valid from ' \
  "$work/token.log"
check "and warns that the signature ends with the certificate" grep -q '^sign: warning: no time stamp' "$work/token.log"
check "and says revocation was not checked" grep -q '^sign: revocation not checked' "$work/token.log"
check "the PIN from an environment variable" with_pin_variable token-env "${token[@]}"
check "leaves no file of the PIN" sh -c '[ -z "$(ls -A "$1")" ]' sh "$secrets/tmp"
check "a wrong PIN fails, leaving no setup" fails_unsigned wrong-pin "${token[@]}" --pin-file "$secrets/wrong-pin"
check "a PIN in the key's URI is refused" fails_unsigned pin-in-uri --pkcs11-module "$softhsm" \
  --key "pkcs11:token=pixelmoor-test;object=signer;pin-value=$pin" --cert-chain "$pki/chain.pem" \
  --ca "$pki/ca.pem" --pin-file "$secrets/pin"
check "signing without roots to verify against is refused" fails_unsigned no-ca --pfx "$pki/signer.pfx" \
  --password-file "$pki/password"
check "a time stamp from the second server, as the first refuses" sign stamped "${token[@]}" \
  --pin-file "$secrets/pin" --timestamp-url "$refused" --timestamp-url "$tsa" --tsa-ca "$pki/tsa-ca.pem"
check "it verifies, time stamp and all" verifies stamped -TSA-CAfile "$pki/tsa-ca.pem"
check "its report gives the time, the server and the authority" grep -q -E \
  "^sign: time stamp [A-Z][a-z]{2} +[0-9]+ [0-9:]{8} [0-9]{4} GMT from $tsa, its certificate issued by /CN=Pixelmoor Release Test Time-Stamp Root" \
  "$work/stamped.log"
check "a time stamp that does not verify against the roots given fails, leaving no setup" fails_unsigned \
  wrong-tsa-ca "${token[@]}" --pin-file "$secrets/pin" --timestamp-url "$tsa" --tsa-ca "$pki/ca.pem"
check "a time-stamp server that cannot be reached fails, leaving no setup" fails_unsigned unstamped \
  "${token[@]}" --pin-file "$secrets/pin" --timestamp-url "$refused" --tsa-ca "$pki/tsa-ca.pem"
waits_its_limit() {
  local start=$SECONDS
  PIXELMOOR_SIGN_TIMESTAMP_SECONDS=3 sign waited "${token[@]}" --pin-file "$secrets/pin" \
    --timestamp-url "$silent" --timestamp-url "$tsa" --tsa-ca "$pki/tsa-ca.pem" && [ $((SECONDS - start)) -lt 20 ] &&
    grep -q "^sign: time stamp .* from $tsa" "$work/waited.log"
}
check "a server that never answers is given up after its wait, and the next one stamps" waits_its_limit
check "a PKCS#12 file still signs" sign pfx --pfx "$pki/signer.pfx" --password-file "$pki/password" --ca "$pki/ca.pem"
check "neither the PIN nor key material is in the build folder or the output" \
  sh -c '! grep -rqF -e "$1" -e "$2" "$3"' sh "$pin" "$(sed -n 2p "$pki/signer.key")" "$work"
check "the PIN was on no command line" sh -c '[ -s "$2" ] && ! grep -qF "$1" "$2"' sh "$pin" "$secrets/argv.log"

# The winget manifests of the time-stamped setup, written as scripts/release
# writes them once a release is proved, read back by a YAML parser.
package_version=$(sed -n 's/^CMAKE_PROJECT_VERSION_MAJOR:STATIC=//p' "$1/CMakeCache.txt").$(sed -n \
  's/^CMAKE_PROJECT_VERSION_MINOR:STATIC=//p' "$1/CMakeCache.txt")
manifests_hold() {
  python3 "$root/tools/winget_manifests.py" "$work/stamped.exe" "$work/winget" --version "$package_version" \
    --url https://downloads.pixelmoor.invalid/PixelmoorPlugInsSetup.exe &&
    python3 - "$work/winget" "$work/stamped.exe" "$package_version" "$root/report/exit_code.h" <<'PY'
import hashlib, re, sys, yaml
folder, setup, version, header = sys.argv[1:]
read = lambda kind: yaml.safe_load(open(f"{folder}/Pixelmoor.PlugIns32.{kind}yaml"))
manifests = {"version": read(""), "installer": read("installer."), "defaultLocale": read("locale.en-US.")}
problems = []
def want(what, got, expected):
    if got != expected:
        problems.append(f"{what}: {got!r}, not {expected!r}")
for kind, m in manifests.items():
    want(f"{kind} ManifestType", m.get("ManifestType"), kind)
    want(f"{kind} ManifestVersion", m.get("ManifestVersion"), "1.10.0")
    want(f"{kind} PackageIdentifier", m.get("PackageIdentifier"), "Pixelmoor.PlugIns32")
    want(f"{kind} PackageVersion", m.get("PackageVersion"), version)
i = manifests["installer"]
for key, value in {"InstallerType": "exe", "Scope": "machine", "ElevationRequirement": "elevatesSelf",
                   "UpgradeBehavior": "install"}.items():
    want(key, i.get(key), value)
want("InstallerSwitches", i.get("InstallerSwitches"), {"Silent": "/silent", "SilentWithProgress": "/silent",
     "Log": '/log="<LOGPATH>"', "InstallLocation": '/folder="<INSTALLPATH>"'})
want("AppsAndFeaturesEntries", i.get("AppsAndFeaturesEntries"), [{"DisplayName": "Pixelmoor PlugIns (32-bit)",
     "Publisher": "Pixelmoor", "DisplayVersion": version, "ProductCode": "PixelmoorPlugIns32"}])
installer = (i.get("Installers") or [{}])[0]
want("Architecture", installer.get("Architecture"), "x86")
want("InstallerUrl", installer.get("InstallerUrl"), "https://downloads.pixelmoor.invalid/PixelmoorPlugInsSetup.exe")
want("InstallerSha256", installer.get("InstallerSha256"), hashlib.sha256(open(setup, "rb").read()).hexdigest().upper())
# The codes as the exit-code table defines them.
codes = {name: int(value) for name, value in re.findall(r"^\s*(kExit\w+) = (\d+),", open(header).read(), re.M)}
want("ExpectedReturnCodes", {c["InstallerReturnCode"]: c["ReturnResponse"] for c in i.get("ExpectedReturnCodes", [])},
     {codes["kExitViewerRunning"]: "packageInUse", codes["kExitNoInstallFolder"]: "missingDependency",
      codes["kExitAnotherSetupRunning"]: "installInProgress"})
locale = manifests["defaultLocale"]
want("Publisher", locale.get("Publisher"), "Pixelmoor")
want("PackageName", locale.get("PackageName"), "Pixelmoor PlugIns (32-bit)")
for key in ("License", "ShortDescription"):
    if not locale.get(key):
        problems.append(f"no {key}")
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
}
check "the winget manifests of the signed setup say what it installs and returns" manifests_hold

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

no_ca_fails() {
  ! PIXELMOOR_RELEASE_BUILD=$work/build-no-ca "$root/scripts/release" "$work/plugins" "$work/no-ca-out" \
    --pfx "$pki/signer.pfx" --password-file "$pki/password" >"$work/no-ca.log" 2>&1
}
check "signing without the roots to verify against fails the release" no_ca_fails
check "before anything is built, in the signing script's words" sh -c '[ ! -e "$1/build-no-ca" ] &&
  grep -q "release: signing needs --ca FILE" "$1/no-ca.log"' sh "$work"

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
