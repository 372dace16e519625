#!/usr/bin/env python3
"""Writes the three winget manifests (schema 1.10) of a release beside its setup.

    winget_manifests.py SETUP OUT_DIR --version X.Y --url URL
    winget_manifests.py --names     (the three files' names, one a line)

SETUP is the signed setup, whose SHA-256 the installer manifest carries;
URL is where it will be downloaded from. The Apps & features names come from
res/setup_identity.h, the return codes from report/exit_code.h: the entry the
setup writes and the codes it returns are the ones the manifests promise.
Each value is written as a JSON string, which YAML reads as it is.
"""
import argparse
import hashlib
import json
import os
import re
import sys

import exit_codes

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# winget's name for the package: publisher, then package.
PACKAGE_IDENTIFIER = "Pixelmoor.PlugIns32"
LOCALE = "en-US"
MANIFEST_VERSION = "1.10.0"
LICENSE = "Proprietary"
SHORT_DESCRIPTION = "The plug-ins of the 32-bit Pixelmoor image viewer, installed into its Plugins folder."


def identity():
    text = open(os.path.join(ROOT, "res", "setup_identity.h"), encoding="utf-8").read()
    facts = dict(re.findall(r'^#define (SETUP_\w+) "([^"]*)"', text, re.M))
    return facts["SETUP_PUBLISHER"], facts["SETUP_ENTRY_NAME"], facts["SETUP_ENTRY_KEY"]


def scalar(value):
    return json.dumps(value) if isinstance(value, str) else str(value)


def emit(lines, value, indent=""):
    """`value` (a dict, a list of dicts, or a scalar) as YAML block lines."""
    for key, item in value.items():
        if isinstance(item, dict):
            lines.append(f"{indent}{key}:")
            emit(lines, item, indent + "  ")
        elif isinstance(item, list):
            lines.append(f"{indent}{key}:")
            for element in item:
                if not isinstance(element, dict):
                    lines.append(f"{indent}- {scalar(element)}")
                    continue
                first = len(lines)
                emit(lines, element, indent + "  ")
                lines[first] = indent + "- " + lines[first][len(indent) + 2:]
        else:
            lines.append(f"{indent}{key}: {scalar(item)}")


def write(path, manifest):
    lines = []
    emit(lines, manifest)
    with open(path + ".new", "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    os.replace(path + ".new", path)


def names():
    return [PACKAGE_IDENTIFIER + ".yaml", PACKAGE_IDENTIFIER + ".installer.yaml",
            PACKAGE_IDENTIFIER + ".locale." + LOCALE + ".yaml"]


def main():
    if sys.argv[1:] == ["--names"]:
        print("\n".join(names()))
        return
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("setup")
    parser.add_argument("out_dir")
    parser.add_argument("--version", required=True)
    parser.add_argument("--url", required=True)
    args = parser.parse_args()
    # The entry's DisplayVersion is the package version, major.minor (kPackageVersion).
    if not re.fullmatch(r"\d+\.\d+", args.version):
        sys.exit(f"winget_manifests: {args.version!r} is no package version (major.minor)")
    if not args.url.startswith("https://"):
        sys.exit(f"winget_manifests: {args.url!r}: winget downloads installers over https only")
    publisher, name, key = identity()
    digest = hashlib.sha256(open(args.setup, "rb").read()).hexdigest().upper()
    codes = [{"InstallerReturnCode": c.code, "ReturnResponse": c.winget}
             for c in exit_codes.read(os.path.join(ROOT, "report", "exit_code.h")) if c.winget]
    head = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": args.version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    os.makedirs(args.out_dir, exist_ok=True)
    version_file, installer_file, locale_file = (os.path.join(args.out_dir, n) for n in names())
    write(version_file, {**head, "DefaultLocale": LOCALE, "ManifestType": "version", **tail})
    write(installer_file, {
        **head,
        "InstallerType": "exe",
        "Scope": "machine",
        "InstallModes": ["silent", "silentWithProgress"],
        # A value of the setup's runs to the next "/"; quoted after the "=",
        # the quotes are dropped and a blank or the next option stays out.
        "InstallerSwitches": {
            "Silent": "/silent",
            "SilentWithProgress": "/silent",
            "Log": '/log="<LOGPATH>"',
            "InstallLocation": '/folder="<INSTALLPATH>"',
        },
        "ExpectedReturnCodes": codes,
        "UpgradeBehavior": "install",
        "ElevationRequirement": "elevatesSelf",
        "AppsAndFeaturesEntries": [
            {"DisplayName": name, "Publisher": publisher, "DisplayVersion": args.version, "ProductCode": key},
        ],
        "Installers": [
            {"Architecture": "x86", "InstallerUrl": args.url, "InstallerSha256": digest},
        ],
        "ManifestType": "installer",
        **tail,
    })
    write(locale_file, {
        **head,
        "PackageLocale": LOCALE,
        "Publisher": publisher,
        "PackageName": name,
        "License": LICENSE,
        "ShortDescription": SHORT_DESCRIPTION,
        "ManifestType": "defaultLocale",
        **tail,
    })
    print(f"winget_manifests: {version_file}, {installer_file} and {locale_file}")


if __name__ == "__main__":
    main()
