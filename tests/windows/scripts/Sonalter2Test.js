// QelvSonalter2.Sonalter2 from JScript: properties, the working methods on real
// sample arrays, and every kind of failure. Run with: cscript //nologo Sonalter2Test.js
// JScript arrays are objects, not safe arrays: the test helper
// QelvSonalter2Test.ArrayHelper converts them (ToShorts) and reads results back
// (ToScript, then new VBArray(...).toArray()); see docs/WINDOWS.md.
// The last line is always "N passed, M failed".
var passed = 0, failed = 0;
var o, h;

function check(ok, what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        WScript.Echo("FAIL " + what);
    }
}

function values(typed) { return new VBArray(h.ToScript(typed)).toArray(); }

function holds(typed, expected, what) {
    var actual = values(typed);
    var ok = actual.length === expected.length;
    for (var i = 0; ok && i < expected.length; ++i) ok = actual[i] === expected[i];
    if (!ok) WScript.Echo("  " + what + ": got (" + actual.join(",") + "), expected (" + expected.join(",") + ")");
    return ok;
}

// A sample times a gain, clamped to +-32767 and truncated toward zero.
function scaled(x, gain) {
    var y = Math.max(-32767, Math.min(32767, x * gain));
    return y < 0 ? Math.ceil(y) : Math.floor(y);
}

function hex(n) { return (n < 0 ? n + 0x100000000 : n).toString(16).toUpperCase(); }

// Calls a method through the helper and returns the error it raised (or null).
function failure(method, args) {
    try {
        if (args.length === 1) h.Apply(o, method, args[0]);
        else h.Apply(o, method, args[0], args[1]);
    } catch (e) {
        return e;
    }
    return null;
}

function main() {
    var i, a, b, e, expected;
    o = new ActiveXObject("QelvSonalter2.Sonalter2");
    h = new ActiveXObject("QelvSonalter2Test.ArrayHelper");

    // ---- Properties ----
    check(o.LastErrorNum === 0, "LastErrorNum starts at 0");
    o.SmoothLeftEnabled = false;
    check(o.SmoothLeftEnabled === false, "SmoothLeftEnabled false");
    o.SmoothRightEnabled = true;
    check(o.SmoothRightEnabled === true, "SmoothRightEnabled true");
    o.SmoothRightEnabled = false;
    o.SmoothTime = 12;
    check(o.SmoothTime === 12, "SmoothTime 12");
    o.ArrayFrequency = 48000;
    check(o.ArrayFrequency === 48000, "ArrayFrequency 48000");
    o.ArrayChannels = 1;
    check(o.ArrayChannels === 1, "ArrayChannels 1");
    o.TBEventEnabled = false;
    check(o.TBEventEnabled === false, "TBEventEnabled false");

    var ramp = [];
    for (i = 0; i < 300; ++i) ramp.push((i * 2371) % 65535 - 32767);
    var input = h.ToShorts(ramp);
    check(h.Count(input) === 300, "helper makes 300 samples");

    // ---- Level and order transforms ----
    expected = [];
    for (i = 0; i < 300; ++i) expected.push(0);
    check(holds(h.Apply(o, "Silence", input), expected, "Silence"), "Silence");
    check(holds(h.Apply(o, "Reverse", input), ramp.slice(0).reverse(), "Reverse"), "Reverse");
    expected = [];
    for (i = 0; i < 300; ++i) expected.push(ramp[i] === -32768 ? -32768 : -ramp[i]);
    check(holds(h.Apply(o, "Invert", input), expected, "Invert"), "Invert");
    var gains = [150, 75, 12.5, -200, 0];
    for (var g = 0; g < gains.length; ++g) {
        expected = [];
        for (i = 0; i < 300; ++i) expected.push(scaled(ramp[i], gains[g] / 100));
        check(holds(h.Apply(o, "Amplify", input, gains[g]), expected, "Amplify " + gains[g]), "Amplify " + gains[g]);
    }
    b = h.ToShorts([300, 300, 300]);
    check(holds(h.Apply(o, "Fade", b, 100, 300), [300, 600, 900], "Fade"), "Fade 100..300");
    b = h.ToShorts([2, -2, 0, 1]);
    check(holds(h.Apply(o, "Normalize", b, 100, false), [32767, -32767, 0, 16383], "Normalize"), "Normalize");

    // ---- Channel utilities ----
    var left = [], right = [];
    for (i = 0; i < 50; ++i) {
        left.push(i * 5 - 100);
        right.push(3 - i * 9);
    }
    var stereo = o.MakeStereoFromArrays(h.ToShorts(left), h.ToShorts(right));
    check(h.Count(stereo) === 100, "MakeStereoFromArrays length");
    check(holds(o.GetLeftStereoChannel(stereo), left, "left"), "GetLeftStereoChannel");
    check(holds(o.GetRightStereoChannel(stereo), right, "right"), "GetRightStereoChannel");
    expected = [];
    for (i = 0; i < 50; ++i) expected.push(scaled((left[i] + right[i]) / 2, 1));
    check(holds(o.MakeMonoFromStereo(stereo), expected, "mono"), "MakeMonoFromStereo");
    expected = [];
    for (i = 0; i < 50; ++i) expected.push(left[i], left[i]);
    check(holds(o.MakeStereoFromMono(h.ToShorts(left)), expected, "stereo"), "MakeStereoFromMono");
    check(holds(o.DuplicateArray(input), ramp, "duplicate"), "DuplicateArray");
    expected = [];
    for (i = 0; i < 50; ++i) expected.push(scaled(left[i] * 2 - right[i] * 0.5, 1));
    check(holds(h.Apply(o, "MixArrays", h.ToShorts(left), 200, h.ToShorts(right), -50), expected, "mix"), "MixArrays");
    expected = [];
    for (i = 0; i < 50; ++i) expected.push(left[i], left[i]);
    check(holds(h.Apply(o, "MixStereoChannels", stereo, 100, 0, 100, 0), expected, "left to both"),
          "MixStereoChannels copies the left channel");

    // ---- Level conversions ----
    check(o.PercentToDB(100) === 0, "PercentToDB(100) = 0");
    check(Math.abs(o.PercentToDB(1) + 40) < 1e-4, "PercentToDB(1) = -40");
    check(Math.abs(o.DBToPercent(-20) - 10) < 1e-4, "DBToPercent(-20) = 10");
    o.CancelTransform();

    // ---- Failures ----
    e = failure("Invert", [h.ToShorts([1])]);
    check(e !== null && e.number === 0x8004030B - 0x100000000, "one sample: number " + (e && hex(e.number)));
    check(e !== null && e.description === "Invalid parameter(argument).", "one sample: description");
    check(o.LastErrorNum === -20, "LastErrorNum -20");
    e = failure("Amplify", [h.ToShorts([1, 2, 3], 5), 100]);
    check(e !== null && hex(e.number) === "8004030B", "lower bound 5 refused");
    try {
        o.PercentToDB("abc");
        check(false, "type mismatch raised");
    } catch (x) {
        // The script error 13, or the automation status DISP_E_TYPEMISMATCH unmapped.
        check((x.number & 0xFFFF) === 13 || hex(x.number) === "80020005",
              "type mismatch: " + hex(x.number) + " " + x.description);
    }
    try {
        o.NoSuchMethod();
        check(false, "unknown member raised");
    } catch (x) {
        check((x.number & 0xFFFF) === 438, "unknown member: " + hex(x.number) + " " + x.description);
    }
}

try {
    main();
} catch (e) {
    ++failed;
    WScript.Echo("FAIL unexpected error " + hex(e.number) + " " + e.description);
}
WScript.Echo(passed + " passed, " + failed + " failed");
