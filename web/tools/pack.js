// Assembles the page's folder: the page's own files copied (index.html and the scripts
// it loads, in its order), mp4box.js, which holds the mp4box package as one classic
// script, and worker-source.js, which holds the worker's whole source (the core, the WAV
// helpers, the worker) as one string. A page opened from file:// may neither load a
// module, fetch a file nor start a worker from one, but it may run the scripts it loads
// and start a worker from a Blob made of that string.
// Usage: node pack.js CORE_JS PAGE_DIR NODE_MODULES OUT_DIR
'use strict';
const fs = require('fs');
const path = require('path');

const [core, page, modules, out] = process.argv.slice(2);
if (!out) {
    console.error('usage: node pack.js CORE_JS PAGE_DIR NODE_MODULES OUT_DIR');
    process.exit(2);
}
const made = {'worker-source.js': workerSource, 'mp4box.js': () => bundle(path.join(modules, 'mp4box'), 'MP4Box')};

fs.mkdirSync(out, {recursive: true});
const html = fs.readFileSync(path.join(page, 'index.html'), 'utf8');
const scripts = [...html.matchAll(/<script src="([^"]+)"><\/script>/g)].map((m) => m[1]);
for (const name of ['index.html', 'style.css', ...scripts])
    if (made[name]) fs.writeFileSync(path.join(out, name), made[name]());
    else fs.copyFileSync(path.join(page, name), path.join(out, name));

function workerSource() {
    const source = [fs.readFileSync(core, 'utf8'), fs.readFileSync(path.join(page, 'wav.js'), 'utf8'),
                    fs.readFileSync(path.join(page, 'worker.js'), 'utf8')].join('\n;\n');
    return '// The page\'s worker, made into a Blob by worker-client.js. Generated; see web/tools/pack.js.\n' +
           'var TULM_WORKER_SOURCE = ' + JSON.stringify(source) + ';\n';
}

// A CommonJS package as a classic script that defines `name`: each of its files that
// the main one requires, in turn, wrapped as a function of (module, exports, require).
function bundle(dir, name) {
    const manifest = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
    const main = path.join(dir, manifest.exports['.'].require);
    const files = {};
    const add = (file) => {
        const key = path.relative(dir, file);
        if (files[key] !== undefined) return key;
        const text = fs.readFileSync(file, 'utf8').replace(/\/\/# sourceMappingURL=.*$/m, '');
        files[key] = text;
        files[key] = text.replace(/require\((['"])(\.[^'"]+)\1\)/g,
                                  (_, q, rel) => 'require(' + JSON.stringify(add(path.join(path.dirname(file), rel))) + ')');
        return key;
    };
    const first = add(main);
    const bodies = Object.entries(files).map(([key, text]) =>
        JSON.stringify(key) + ': function (module, exports, require) {\n' + text + '\n}').join(',\n');
    const license = fs.existsSync(path.join(dir, 'LICENSE')) ? fs.readFileSync(path.join(dir, 'LICENSE'), 'utf8') : '';
    return `/* ${manifest.name} ${manifest.version} (${manifest.license}), bundled by web/tools/pack.js. Generated.\n` +
           license.replace(/\*\//g, '* /') + '*/\n' +
           `var ${name} = (function () {\nconst files = {\n${bodies}\n};\nconst done = {};\n` +
           'function load(key) {\n    if (!done[key]) {\n        const module = {exports: {}};\n        done[key] = module;\n' +
           '        files[key](module, module.exports, load);\n    }\n    return done[key].exports;\n}\n' +
           `return load(${JSON.stringify(first)});\n})();\n`;
}
