<?php
// SabreDAV as a CardDAV server for the sync tests, run by `php -S` with this file
// as its router: address books in the sqlite database named by SABRE_DB (made on
// the first request), Basic authentication for ann and bo (password "secret").
error_reporting(E_ALL & ~E_DEPRECATED & ~E_NOTICE & ~E_WARNING);
date_default_timezone_set('UTC');
require_once 'Sabre/autoload.php';

class TestUsers extends Sabre\DAV\Auth\Backend\AbstractBasic {
    protected function validateUserPass($username, $password) {
        return in_array($username, ['ann', 'bo'], true) && $password === 'secret';
    }
}

$db = getenv('SABRE_DB');
$fresh = !file_exists($db);
$pdo = new PDO('sqlite:' . $db);
$pdo->setAttribute(PDO::ATTR_ERRMODE, PDO::ERRMODE_EXCEPTION);
if ($fresh) {
    $pdo->exec('CREATE TABLE addressbooks (id INTEGER PRIMARY KEY ASC, principaluri TEXT,
                displayname TEXT, uri TEXT, description TEXT, ctag INTEGER);
                CREATE TABLE cards (id INTEGER PRIMARY KEY ASC, addressbookid INTEGER,
                carddata BLOB, uri TEXT, lastmodified INTEGER);
                CREATE TABLE principals (id INTEGER PRIMARY KEY ASC, uri TEXT, email TEXT,
                displayname TEXT, vcardurl TEXT, UNIQUE(uri));
                CREATE TABLE groupmembers (id INTEGER PRIMARY KEY ASC, principal_id INTEGER,
                member_id INTEGER, UNIQUE(principal_id, member_id));
                INSERT INTO principals (uri) VALUES ("principals/ann"), ("principals/bo");');
}

$principals = new Sabre\DAVACL\PrincipalBackend\PDO($pdo);
$server = new Sabre\DAV\Server([
    new Sabre\DAVACL\PrincipalCollection($principals),
    new Sabre\CardDAV\AddressBookRoot($principals, new Sabre\CardDAV\Backend\PDO($pdo)),
]);
$server->setBaseUri('/');
$server->addPlugin(new Sabre\DAV\Auth\Plugin(new TestUsers(), 'SabreDAV'));
$server->addPlugin(new Sabre\CardDAV\Plugin());
$server->addPlugin(new Sabre\DAVACL\Plugin());
$server->exec();
