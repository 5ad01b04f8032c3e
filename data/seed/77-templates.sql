-- Models whose files come from a template (writer module TEMPLATE): a key = value desk telephone and an
-- XML desk telephone with its address book, each with a short catalogue, ALPIN's values and three
-- telephones, and their templates in MODEL_TEMPLATES.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$MODULES', 'TEMPLATE', '');
INSERT INTO EQUIPMENT VALUES('SIPKV', 'Key = value desk telephone (template)', 'TEMPLATE');
INSERT INTO EQUIPMENT VALUES('SIPXML', 'XML desk telephone (template)', 'TEMPLATE');

INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'account.1.auth_name', 'Authentication name of line 1', 'C', '', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'account.1.display_name', 'Name line 1 shows and sends', 'C', '', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'account.1.password', 'SIP password of line 1', 'P', '', 'S', 'Secret of line 1');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'account.1.server', 'SIP server of line 1', 'C', '', 'S', 'Host name or IP address, optional :port');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'account.1.user_name', 'SIP user of line 1', 'C', '', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'admin.password', 'Administrator password of the web interface', 'C', 'admin', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'network.ip_address', 'IP address of the telephone', 'P', '', 'I', 'Dotted IPv4 address');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'network.ntp_server', 'Time server', 'E', 'pool.ntp.org', 'S', 'Host name or IP address');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'network.vlan_id', 'Voice VLAN (0: none)', 'E', '0', 'N', '0-4094');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPKV', 'phone.language', 'Language of the display', 'C', 'en', 'S', 'en, fr, de, it');

INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'display.name', 'Name on the display', 'C', '', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'lang', 'Language of the display', 'C', 'en', 'S', 'en, fr, de, it');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'ntp.server', 'Time server', 'E', 'pool.ntp.org', 'S', 'Host name or IP address');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'ringtone', 'Ring tone', 'E', 'classic', 'S', 'classic, soft, loud');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'sip.password', 'SIP password of the line', 'P', '', 'S', 'Secret of the line');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'sip.server', 'SIP server', 'C', '', 'S', 'Host name or IP address, optional :port');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'sip.user', 'SIP user of the line', 'C', '', 'S', 'Text');
INSERT INTO EQUIPMENT_PARAMETERS VALUES('SIPXML', 'time.zone', 'Time zone', 'C', 'UTC', 'S', 'A zone of the tz database');

-- ALPIN's values for both models.
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'account.1.auth_name', 'sip$$P');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'account.1.display_name', '$$N');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'account.1.server', 'sip.alpine-logistics.example');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'account.1.user_name', '$$P');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'admin.password', 'alpkvadm');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPKV', 'phone.language', 'fr');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPXML', 'display.name', '$$N');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPXML', 'lang', 'de');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPXML', 'sip.server', 'sip.alpine-logistics.example:5060');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPXML', 'sip.user', '$$P');
INSERT INTO COMPANY_PARAMETERS VALUES('ALPIN', 'SIPXML', 'time.zone', 'Europe/Zurich');

-- Telephones, with their MACs in the locally administered range, and their own values.
INSERT INTO PHONES VALUES('ALPIN', '211', 'SIPKV', 'Customs desk', '02A1C0000211');
INSERT INTO PHONES VALUES('ALPIN', '212', 'SIPKV', 'Route planning', '02A1C0000212');
INSERT INTO PHONES VALUES('ALPIN', '213', 'SIPKV', 'Yard & gate', '02a1c0000213');
INSERT INTO PHONES VALUES('ALPIN', '214', 'SIPXML', 'Jana Novak', '02A1C0000214');
INSERT INTO PHONES VALUES('ALPIN', '215', 'SIPXML', 'Fleet <maintenance>', '02A1C0000215');
INSERT INTO PHONES VALUES('ALPIN', '216', 'SIPXML', 'Chloé Favre', '02A1C0000216');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '211', 'account.1.password', 'Kv7wq2Lr');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '211', 'network.ip_address', '10.20.1.211');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '212', 'account.1.password', 'p9XeT4mb');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '212', 'network.ip_address', '10.20.1.212');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '213', 'account.1.password', 'Wz3hN8qa');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPKV', '213', 'network.ip_address', '10.20.1.213');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPXML', '214', 'sip.password', 'x&4<Qm"9');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPXML', '215', 'sip.password', 'Tr6vB2ne');
INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'SIPXML', '216', 'sip.password', 'h5Lk''9sD');

INSERT INTO SYSTEM_PARAMETERS VALUES('ALPINSIPKV', '$$GENPATH', 'output/ALPIN/SIPKV/config');
INSERT INTO SYSTEM_PARAMETERS VALUES('ALPINSIPKV', '$$DEFGEN', '111');
INSERT INTO SYSTEM_PARAMETERS VALUES('ALPINSIPXML', '$$GENPATH', 'output/ALPIN/SIPXML/config');
INSERT INTO SYSTEM_PARAMETERS VALUES('ALPINSIPXML', '$$DEFGEN', '111');
INSERT INTO SYSTEM_PARAMETERS VALUES('ALPINSIPXML', '$$PBGEN', 'output/ALPIN/SIPXML/phonebook');

-- The templates. A statement ends at a line ending in a semicolon, so none of their lines does.
INSERT INTO MODEL_TEMPLATES VALUES('SIPKV', 'config', '{{mac_lower}}.cfg', 'none', 'Windows-1252', 'LF', 'text/plain; charset=windows-1252',
'# {{model.name}}: {{phone.code}} {{phone.description}}, {{company.name}}
{{#params}}
{{code}}={{value}}
{{/params}}
');
INSERT INTO MODEL_TEMPLATES VALUES('SIPXML', 'config', 'phone{{mac}}.xml', 'xml', 'UTF-8', 'CRLF', 'text/xml; charset=utf-8',
'<?xml version="1.0" encoding="UTF-8"?>
<device mac="{{mac_colons}}" model="{{model.code}}">
  <name>{{phone.description}}</name>
  <line server="{{param.sip.server}}" user="{{param.sip.user}}" password="{{param.sip.password}}"/>
  <settings>
{{#params}}
    <setting code="{{code}}" level="{{level}}">{{value}}</setting>
{{/params}}
  </settings>
  <directory>http://prov.alpine-logistics.example/{{company.code}}/directory.xml</directory>
</device>
');
INSERT INTO MODEL_TEMPLATES VALUES('SIPXML', 'phonebook', 'directory.xml', 'xml', 'UTF-8', 'CRLF', 'text/xml; charset=utf-8',
'<?xml version="1.0" encoding="UTF-8"?>
<directory company="{{company.name}}">
{{#entries}}
  <entry index="{{index}}"><name>{{name}}</name><number>{{number}}</number></entry>
{{/entries}}
</directory>
');

-- The command line's and the window's texts (M800 to M820), the menu entry and the window's captions.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M800', 'lines %1 of the file change');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M801', 'There is no model $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M802', 'The model $$ does not take its files from a template: its writer module is not TEMPLATE.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M803', '"$$" is none of the values allowed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M804', 'Template saved: $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M805', 'Saving or deleting a template needs the second password of the settings table.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M806', 'No template for $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M807', 'The template is unchanged: $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M808', '$$ problems');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M809', '$$ problem');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M810', 'The template was not saved: $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M811', 'Template deleted: $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M812', 'Delete the template of $$?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M813', 'The changes to the template of $$ are not saved. Leave them?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M814', '$$ telephones checked');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M815', 'No problem found.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M816', 'No model takes its files from a template: give a model the writer module TEMPLATE in the editor first.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M817', '$$ telephone checked');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M818', '$$ address books checked');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M819', '$$ address book checked');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M820', 'Telephone $$: its model takes its file from a template and has no reboot dialogue; not restarted');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M800', 'les lignes %1 du fichier changent');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M801', 'Il n''y a pas de modèle $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M802', 'Le modèle $$ ne tire pas ses fichiers d''un gabarit : son module d''écriture n''est pas TEMPLATE.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M803', '« $$ » n''est aucune des valeurs permises.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M804', 'Gabarit enregistré : $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M805', 'Enregistrer ou supprimer un gabarit demande le second mot de passe de la table des paramètres.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M806', 'Aucun gabarit pour $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M807', 'Le gabarit est inchangé : $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M808', '$$ problèmes');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M809', '$$ problème');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M810', 'Le gabarit n''a pas été enregistré : $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M811', 'Gabarit supprimé : $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M812', 'Supprimer le gabarit de $$ ?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M813', 'Les modifications du gabarit de $$ ne sont pas enregistrées. Les abandonner ?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M814', '$$ téléphones vérifiés');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M815', 'Aucun problème trouvé.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M816', 'Aucun modèle ne tire ses fichiers d''un gabarit : donnez d''abord à un modèle le module d''écriture TEMPLATE dans l''éditeur.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M817', '$$ téléphone vérifié');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M818', '$$ carnets d''adresses vérifiés');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M819', '$$ carnet d''adresses vérifié');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M820', 'Téléphone $$ : son modèle tire son fichier d''un gabarit et n''a pas de dialogue de redémarrage ; non redémarré');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_TEMPLATES', 'Model templates…');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES', 'Model templates');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_MLAB', 'Model');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_KLAB', 'Kind');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_NLAB', 'File name');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_LNAME_TIP', '{{mac}}, {{mac_lower}} or {{mac_dashes}} once, with text around it; for an address book a plain name');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_ELAB', 'Escaping');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_CLAB', 'Encoding');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_LLAB', 'Line ends');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_TLAB', 'Content type');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_PLAB', 'Preview for');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_XLAB', 'Template');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_TEXT_TIP', 'Mustache: {{mac}}, {{phone.description}}, {{#params}}{{code}}={{value}}{{/params}}, {{param.CODE}}; F1 lists every name');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_FLAB', 'File made');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_QLAB', 'Problems');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_SAVE', 'Save');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_HISTORY', 'History…');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FMODELTEMPLATES_CLOSE', 'Close');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FVOCASET1_TEMPLATES', 'Gabarits des modèles…');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES', 'Gabarits des modèles');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_MLAB', 'Modèle');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_KLAB', 'Genre');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_NLAB', 'Nom du fichier');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_LNAME_TIP', '{{mac}}, {{mac_lower}} ou {{mac_dashes}} une fois, entouré de texte ; pour un carnet d''adresses un nom simple');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_ELAB', 'Échappement');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_CLAB', 'Codage');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_LLAB', 'Fins de ligne');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_TLAB', 'Type de contenu');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_PLAB', 'Aperçu pour');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_XLAB', 'Gabarit');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_TEXT_TIP', 'Mustache : {{mac}}, {{phone.description}}, {{#params}}{{code}}={{value}}{{/params}}, {{param.CODE}} ; F1 donne tous les noms');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_FLAB', 'Fichier produit');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_QLAB', 'Problèmes');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_SAVE', 'Enregistrer');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_HISTORY', 'Historique…');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FMODELTEMPLATES_CLOSE', 'Fermer');
