// The package managers' manifests of a release, for the Windows ZIP.
//
//   node .ci/manifests.cjs write VERSION ZIP REPOSITORY_URL FOLDER
//     writes into FOLDER a winget multi-file manifest (version, default
//     locale, installer: the ZIP with its nested portable Sectify.exe, whose
//     command is Sectify) and a Scoop manifest, sectify.json, each with the
//     ZIP's SHA-256 and its address among REPOSITORY_URL's releases;
//   node .ci/manifests.cjs check FOLDER ZIP
//     reads them back, validates each against the fields its package
//     manager requires (with ajv; js-yaml reads the YAML), and checks that
//     each names the ZIP's SHA-256. Prints what is wrong and exits 1.
//
// js-yaml and ajv come from build/manifests (npm install --prefix).

const { createHash } = require("node:crypto");
const { readFileSync, writeFileSync } = require("node:fs");
const path = require("node:path");

const IDENTIFIER = "Sectify.Sectify";
const MANIFEST_VERSION = "1.6.0";
const DESCRIPTION = "Converts XML flight files into sectioned plain-text flight files";

function sha256(file) {
  return createHash("sha256").update(readFileSync(file)).digest("hex");
}

// The manifests for `version`, as file name and text.
function manifests(version, zip, repository) {
  const url = `${repository}/releases/download/v${version}/${path.basename(zip)}`;
  const head = `PackageIdentifier: ${IDENTIFIER}\nPackageVersion: ${version}\n`;
  const tail = `ManifestVersion: ${MANIFEST_VERSION}\n`;
  const scoop = {
    version,
    description: DESCRIPTION,
    homepage: repository,
    license: "MIT",
    url,
    hash: sha256(zip),
    bin: "Sectify.exe",
    checkver: { github: repository },
    autoupdate: { url: url.split(version).join("$version") },
  };
  return {
    [`${IDENTIFIER}.yaml`]: `${head}DefaultLocale: en-US\nManifestType: version\n${tail}`,
    [`${IDENTIFIER}.locale.en-US.yaml`]:
      `${head}PackageLocale: en-US\nPublisher: the Sectify authors\nPackageName: Sectify\n` +
      `PackageUrl: ${repository}\nLicense: MIT\nShortDescription: ${DESCRIPTION}\n` +
      `ManifestType: defaultLocale\n${tail}`,
    [`${IDENTIFIER}.installer.yaml`]:
      `${head}InstallerType: zip\nNestedInstallerType: portable\nNestedInstallerFiles:\n` +
      `- RelativeFilePath: Sectify.exe\n  PortableCommandAlias: Sectify\nInstallers:\n` +
      `- Architecture: x86\n  InstallerUrl: ${url}\n` +
      `  InstallerSha256: ${sha256(zip).toUpperCase()}\nManifestType: installer\n${tail}`,
    "sectify.json": `${JSON.stringify(scoop, null, 2)}\n`,
  };
}

// What each manifest must hold: the fields its package manager's schema
// requires, and the ZIP's sum where it names it.
function schemas(sum) {
  const text = { type: "string", minLength: 1 };
  const winget = (type, required, properties = {}) => ({
    type: "object",
    required: ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion", ...required],
    properties: { ManifestType: { const: type }, ManifestVersion: { const: MANIFEST_VERSION }, ...properties },
  });
  return {
    [`${IDENTIFIER}.yaml`]: winget("version", ["DefaultLocale"]),
    [`${IDENTIFIER}.locale.en-US.yaml`]: winget("defaultLocale", [
      "PackageLocale", "Publisher", "PackageName", "License", "ShortDescription",
    ]),
    [`${IDENTIFIER}.installer.yaml`]: winget("installer", ["Installers"], {
      InstallerType: { const: "zip" },
      NestedInstallerType: { const: "portable" },
      NestedInstallerFiles: {
        type: "array", minItems: 1,
        items: { type: "object", required: ["RelativeFilePath", "PortableCommandAlias"] },
      },
      Installers: {
        type: "array", minItems: 1,
        items: {
          type: "object",
          required: ["Architecture", "InstallerUrl", "InstallerSha256"],
          properties: { InstallerUrl: text, InstallerSha256: { const: sum.toUpperCase() } },
        },
      },
    }),
    "sectify.json": {
      type: "object",
      required: ["version", "description", "homepage", "license", "url", "hash", "bin", "checkver",
        "autoupdate"],
      properties: {
        hash: { const: sum },
        url: text,
        autoupdate: { type: "object", required: ["url"] },
      },
    },
  };
}

function check(folder, zip) {
  const modules = path.join(__dirname, "..", "build", "manifests", "node_modules");
  const yaml = require(path.join(modules, "js-yaml"));
  const Ajv = require(path.join(modules, "ajv"));
  const ajv = new Ajv({ allErrors: true });
  let wrong = 0;
  for (const [name, schema] of Object.entries(schemas(sha256(zip)))) {
    const text = readFileSync(path.join(folder, name), "utf8");
    const manifest = name.endsWith(".json") ? JSON.parse(text) : yaml.load(text);
    const validate = ajv.compile(schema);
    if (validate(manifest)) {
      console.log(`ok   ${name}`);
    } else {
      wrong += 1;
      console.log(`FAILED ${name}: ${ajv.errorsText(validate.errors)}`);
    }
  }
  process.exitCode = wrong ? 1 : 0;
}

const [command, ...rest] = process.argv.slice(2);
if (command === "write" && rest.length === 4) {
  const [version, zip, repository, folder] = rest;
  for (const [name, text] of Object.entries(manifests(version, zip, repository))) {
    writeFileSync(path.join(folder, name), text);
  }
} else if (command === "check" && rest.length === 2) {
  check(...rest);
} else {
  console.error("usage: manifests.cjs write VERSION ZIP REPOSITORY_URL FOLDER | check FOLDER ZIP");
  process.exitCode = 2;
}
