// Sends a test stream to 127.0.0.1:PORT, encoded by the npm `osc` package, an encoder independent
// of Tactora's. Usage: node send-osc.js PORT < stream, one datagram a line: "[b ]datagram", b for
// the second of its two sockets. A datagram is a message or "[message; message]", a bundle; a
// message is cur, obj, blb or an address, then arguments typed as written: a whole number an int,
// another number or nan a float, else a string. Prints "ports P0 P1", its sockets' local ports,
// then sends the lines in order and exits.
const dgram = require('dgram');
const osc = require('osc');

const profiles = { cur: '/tuio/2Dcur', obj: '/tuio/2Dobj', blb: '/tuio/2Dblb' };
const argument = (t) => (/^-?\d+$/.test(t) ? { type: 'i', value: Number(t) }
    : t === 'nan' || !isNaN(Number(t)) ? { type: 'f', value: Number(t) } : { type: 's', value: t });
const message = (text) => {
    const [word, ...args] = text.split(' ');
    return { address: profiles[word] || word, args: args.map(argument) };
};
const packet = (d) => (d.startsWith('[')
    ? { timeTag: { raw: [0, 1] }, packets: d.slice(1, -1).split('; ').map(message) } : message(d));

const lines = require('fs').readFileSync(0, 'utf8').split('\n').filter(Boolean);
const sockets = [dgram.createSocket('udp4'), dgram.createSocket('udp4')];
Promise.all(sockets.map((s) => new Promise((ok) => s.bind(0, '127.0.0.1', ok)))).then(async () => {
    console.log('ports ' + sockets.map((s) => s.address().port).join(' '));
    for (const line of lines) {
        const second = line.startsWith('b ');
        const bytes = Buffer.from(osc.writePacket(packet(second ? line.slice(2) : line),
                                                  { metadata: true }));
        await new Promise((ok, fail) => sockets[second ? 1 : 0].send(
            bytes, Number(process.argv[2]), '127.0.0.1', (e) => (e ? fail(e) : ok())));
    }
    sockets.forEach((s) => s.close());
}).catch((e) => { console.error(e); process.exit(1); });
